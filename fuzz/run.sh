#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time, several at once,
# stopping at the first finding. What `make fuzz` runs.
#
#   fuzz/run.sh [TARGET...]        all targets when none is named
#   fuzz/run.sh --totals           hours and executions each target has had so far
#
# Environment: FUZZ_SECONDS (60) per target, FUZZ_JOBS (the number of cores) fuzzers at
# once, FUZZ_BUILD (build-fuzz) the build folder, PAGEWEAVER_CORPUS the shared sample
# corpus (default ../shared/corpus beside the project) whose files join the seeds.
#
# Each target keeps its growing corpus in $FUZZ_BUILD/corpus/<target>, its log in
# $FUZZ_BUILD/logs/<target>.log and any input that broke it in
# $FUZZ_BUILD/findings/<target>/. Every run adds a line to $FUZZ_BUILD/history.tsv.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
corpus=${PAGEWEAVER_CORPUS:-$root/../shared/corpus}
corpus=$(cd "$corpus" 2>/dev/null && pwd || echo "$corpus")
all_targets=(detect bmp tiff_info tiff_read png jpeg gif pcx tga wbmp psd webp heif exif metafile
  roundtrip image copy)

totals() {
  [ -f "$build/history.tsv" ] || { echo "no fuzzing recorded in $build yet"; return; }
  printf "%-12s %5s %8s %14s %9s\n" target runs hours executions findings
  awk -F'\t' '{ s[$2] += $3; e[$2] += $4; n[$2]++; if ($5 == "finding") f[$2]++ }
    END { for (t in s) printf "%-12s %5d %8.2f %14d %9d\n", t, n[t], s[t] / 3600, e[t], f[t] }' \
    "$build/history.tsv" | sort
}

if [ "${1:-}" = "--totals" ]; then
  totals
  exit 0
fi

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
  [[ " ${all_targets[*]} " == *" $t "* ]] || { echo "fuzz: no target '$t'" >&2; exit 2; }
done

# ---- Build ----------------------------------------------------------------------------------
# One build at a time, should several runs share the folder.
mkdir -p "$build"
exec 9>"$build/.build-lock"
flock 9
if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=$(command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" $generator || exit 1
fi
cmake --build "$build" -j "$jobs" || exit 1
flock -u 9

# ---- Seeds ----------------------------------------------------------------------------------
# The file-name patterns of each format's seeds; "all" takes every format's small files.
declare -A patterns=(
  [bmp]="*.bmp *.dib" [tiff]="*.tif *.tiff" [png]="*.png" [jpeg]="*.jpg *.jpeg *.jfif"
  [gif]="*.gif" [pcx]="*.pcx" [tga]="*.tga" [wbmp]="*.wbmp *.wbm" [psd]="*.psd"
  [metafile]="*.wmf *.emf" [webp]="*.webp" [heif]="*.heic *.heif *.avif" [exif]="*.exif"
  [copy]="*.tif *.tiff *.jpg *.jpeg *.jfif *.png"
)
format_of() {
  case "$1" in
    detect | roundtrip | image) echo all ;;
    tiff_*) echo tiff ;;
    *) echo "$1" ;;
  esac
}

# Links every file of a target's format up to `limit` bytes into $build/seeds/<target>.
collect_seeds() {
  local target=$1 format=$2 limit=$3 dir="$build/seeds/$1" names=() p
  rm -rf "$dir" && mkdir -p "$dir"
  if [ "$format" = all ]; then
    names=(${patterns[*]})
  else
    names=(${patterns[$format]})
  fi
  local expr=() first=1
  for p in "${names[@]}"; do
    [ $first -eq 1 ] || expr+=(-o)
    expr+=(-iname "$p")
    first=0
  done
  local sources=("$root/samples" "$root/tests/data" "$root/fuzz/corpora")
  [ -d "$corpus/files" ] && sources+=("$corpus/files")
  find "${sources[@]}" -type f -size -"$((limit + 1))"c \( "${expr[@]}" \) 2>/dev/null |
    while read -r f; do
      name=${f#"$root"/}
      name=${name#"$corpus"/}
      ln -sf "$f" "$dir/$(echo "$name" | tr '/' '_')"
    done
}

dictionary_of() {
  local format=$1
  if [ "$format" = all ]; then
    # Targets started together each write their own copy ($$ is the same in every
    # subshell) and move it into place whole.
    local copy
    copy=$(mktemp "$build/all.dict.XXXXXX") || return 1
    cat "$root"/fuzz/dicts/*.dict >"$copy"
    mv "$copy" "$build/all.dict"
    echo "$build/all.dict"
  else
    echo "$root/fuzz/dicts/$format.dict"
  fi
}

mkdir -p "$build/logs"
for t in "${targets[@]}"; do
  f=$(format_of "$t")
  if [ "$f" = all ]; then collect_seeds "$t" all 16384; else collect_seeds "$t" "$f" 65536; fi
done

# ---- Runs -----------------------------------------------------------------------------------
declare -A running=()  # pid -> target
started=$(date +%s)

start_target() {
  local t=$1 f
  f=$(format_of "$t")
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  local extra=()
  [ -d "$root/tests/data/fuzz/$t" ] && extra+=("$root/tests/data/fuzz/$t")
  (
    begin=$(date +%s)
    # Stopped from outside (another target's finding, ^C): end the fuzzer, which then
    # exits with libFuzzer's interrupt code 72 after its statistics.
    trap 'kill -INT "$fuzzer" 2>/dev/null' INT TERM
    "$build/fuzz_$t" "$build/corpus/$t" "$build/seeds/$t" "${extra[@]}" \
      -dict="$(dictionary_of "$f")" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$build/findings/$t/" -print_final_stats=1 >"$build/logs/$t.log" 2>&1 &
    fuzzer=$!
    status=129
    while [ $status -gt 128 ] && kill -0 "$fuzzer" 2>/dev/null; do
      wait "$fuzzer"
      status=$?
    done
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$t.log" | tail -1)
    case $status in
      0) result=clean ;;
      72) result=stopped ;;
      *) result=finding ;;
    esac
    printf '%s\t%s\t%d\t%d\t%s\n' "$(date -u +%FT%TZ)" "$t" "$(($(date +%s) - begin))" \
      "${execs:-0}" "$result" >>"$build/history.tsv"
    exit $status
  ) &
  running[$!]=$t
  echo "fuzz: $t started (${seconds}s)"
}

report_finding() {
  local t=$1 artifact
  artifact=$(ls -t "$build/findings/$t"/* 2>/dev/null | head -1)
  echo
  echo "fuzz: $t FOUND A PROBLEM"
  grep -E "ERROR|pxfuzz:|runtime error|SUMMARY|#[0-9]+ 0x" "$build/logs/$t.log" | head -25
  echo
  echo "  reproducer: ${artifact:-(none written; see $build/logs/$t.log)}"
  echo "  replay:     $build/replay_$t ${artifact:-FILE}"
  echo "  minimise:   $build/fuzz_$t -minimize_crash=1 -runs=100000 ${artifact:-FILE}"
}

failed=0
stop_all() {
  local pid
  for pid in "${!running[@]}"; do kill "$pid" 2>/dev/null; done
}

reap() {
  local pid status
  wait -n -p pid "${!running[@]}"
  status=$?
  [ -n "${pid:-}" ] || return
  local t=${running[$pid]}
  unset "running[$pid]"
  if [ $status -ne 0 ] && [ $status -ne 72 ] && [ $failed -eq 0 ]; then
    failed=1
    report_finding "$t"
    stop_all
  elif [ $status -eq 0 ] || [ $status -eq 72 ]; then
    echo "fuzz: $t $([ $status -eq 0 ] && echo clean || echo stopped) ($(sed -n 's/^stat::number_of_executed_units: *//p' \
      "$build/logs/$t.log" | tail -1) executions)"
  fi
}

interrupted=0
trap 'interrupted=1; stop_all' INT TERM
for t in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$jobs" ]; do reap; done
  [ $failed -eq 0 ] && [ $interrupted -eq 0 ] || break
  start_target "$t"
done
while [ ${#running[@]} -gt 0 ]; do reap; done
[ $interrupted -eq 0 ] || exit 130

echo "fuzz: done in $(($(date +%s) - started))s"
exit $failed
