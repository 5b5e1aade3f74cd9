# Shared by the comparison benchmarks: sourced with WORK and RESULTS set.

# run NAME JOB OUT command...: times the command and records wall, CPU, peak memory, size.
run() {
  local name=$1 job=$2 out=$3
  shift 3
  rm -f "$out"
  local log=$WORK/out/$name-$job.time
  if /usr/bin/time -v "$@" >"$WORK/out/$name-$job.log" 2>"$log"; then status=ok; else status=FAILED; fi
  local wall user sys rss size
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$log")
  user=$(awk -F': ' '/User time/ {print $2}' "$log")
  sys=$(awk -F': ' '/System time/ {print $2}' "$log")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  size=$( [ -f "$out" ] && stat -c %s "$out" || echo 0)
  echo "$job $name $status ${wall:-0} $(echo "${user:-0} + ${sys:-0}" | bc) ${rss:-0} $size $out" >>"$RESULTS"
}
