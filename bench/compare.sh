#!/usr/bin/env bash
# PageWeaver's build against ImageMagick's `convert` and GraphicsMagick's `gm convert` on
# the same input set: three jobs, timed side by side, each output checked with tiffinfo
# so that no tool wins by doing less.
#
#   bench/compare.sh            (make bench-compare)
#   PAGES=60 THREADS=2 bench/compare.sh
set -euo pipefail
cd "$(dirname "$0")/.."

PAGES=${PAGES:-60}
source bench/setup.sh
bench_build pageweaver-cli make_pages codec_floor
bench_pages
mapfile -t INPUTS < <(ls "$IN"/page* | sort)
# Twice the pages (each file under a second name, as the same file twice is one page):
# memory must not grow with the page count.
mkdir -p "$WORK/twice-$PAGES"
for f in "${INPUTS[@]}"; do
  for copy in a b; do
    [ -e "$WORK/twice-$PAGES/$copy-${f##*/}" ] || ln "$f" "$WORK/twice-$PAGES/$copy-${f##*/}"
  done
done
mapfile -t DOUBLE < <(ls "$WORK/twice-$PAGES"/* | sort)

# Debian's ImageMagick policy caps its pixel cache far below what 60 A4 pages need and
# gives up; this policy lifts the caps so that it can finish the jobs at all.
export MAGICK_CONFIGURE_PATH=$PWD/bench/magick
export OMP_NUM_THREADS=$THREADS

RESULTS=$WORK/results.txt
: >"$RESULTS"

source bench/timing.sh

# check JOB OUT WIDTH HEIGHT BITS COMPRESSION: every page is there with the size, depth and
# compression the job asks for.
check() {
  local out=$2 w=$3 h=$4 bits=$5 comp=$6 count=$7
  [ -f "$out" ] || { echo "missing"; return; }
  tiffinfo "$out" 2>/dev/null | awk -v w="$w" -v h="$h" -v bits="$bits" -v comp="$comp" -v count="$count" '
    /^TIFF Directory/ {pages++}
    /Image Width:/ {if ($3 != w || $6 != h) bad = bad " size:" $3 "x" $6}
    /Bits\/Sample:/ {if ($2 != bits) bad = bad " bits:" $2}
    /Compression Scheme:/ {if (index($0, comp) == 0) bad = bad " compression:" substr($0, 23)}
    END {
      if (pages != count) bad = bad " pages:" pages
      print (bad == "" ? "ok" : "WRONG" substr(bad, 1, 60))
    }'
}

IM="convert"
GM="gm convert"
for job in a b c; do
  case $job in
    a) pw=(--depth 1 --compression g4 --dpi 300 --threshold 128)
       im=(-colorspace Gray -threshold 50% -type Bilevel -compress Group4 -density 300 -units PixelsPerInch)
       gm=(-colorspace Gray -threshold 50% -type Bilevel -compress Group4 -density 300x300 -units PixelsPerInch) ;;
    b) pw=(--depth 24 --compression lzw --size 1240x1754)
       im=(-resize 1240x1754 -type TrueColor -depth 8 -compress LZW)
       gm=(-resize 1240x1754 -type TrueColor -compress LZW) ;;
    c) pw=(--depth 24 --compression jpeg)
       im=(-type TrueColor -depth 8 -compress JPEG -quality 75)
       gm=(-type TrueColor -compress JPEG -quality 75) ;;
  esac
  echo "job $job ..."
  run PageWeaver $job "$WORK/out/pw-$job.tif" "$CLI" build --quiet --threads "$THREADS" \
    -o "$WORK/out/pw-$job.tif" "${pw[@]}" "${INPUTS[@]}"
  if [ $job = a ]; then
    run PageWeaver-1thread $job "$WORK/out/pw1-$job.tif" "$CLI" build --quiet --threads 1 \
      -o "$WORK/out/pw1-$job.tif" "${pw[@]}" "${INPUTS[@]}"
    run PageWeaver-2x-pages $job "$WORK/out/pw2-$job.tif" "$CLI" build --quiet \
      --threads "$THREADS" -o "$WORK/out/pw2-$job.tif" "${pw[@]}" "${DOUBLE[@]}"
    run codec-floor $job "$WORK/out/floor-$job.tif" "$BUILD/bench/codec_floor" \
      "$WORK/out/floor-$job.tif" "${INPUTS[@]}"
  fi
  run convert $job "$WORK/out/im-$job.tif" $IM "${INPUTS[@]}" "${im[@]}" "$WORK/out/im-$job.tif"
  run gm $job "$WORK/out/gm-$job.tif" $GM "${INPUTS[@]}" "${gm[@]}" "$WORK/out/gm-$job.tif"
done

# The table.
printf '\n%-20s %-4s %8s %8s %9s %10s %9s %9s  %s\n' tool job "wall s" "cpu s" "peak MB" \
  "size MB" "vs IM" "vs GM" check
while read -r job name status wall cpu rss size out; do
  case $job in
    a) w=2480 h=3508 bits=1 comp="CCITT Group 4" ;;
    b) w=1240 h=1754 bits=8 comp="LZW" ;;
    c) w=2480 h=3508 bits=8 comp="JPEG" ;;
  esac
  count=$PAGES
  [ "$name" = PageWeaver-2x-pages ] && count=$((2 * PAGES))
  verdict=$(check "$job" "$out" $w $h $bits "$comp" $count)
  [ "$status" = ok ] || verdict="$status ($verdict)"
  im=$(awk -v j="$job" '$1==j && $2=="convert" && $3=="ok" {print $4}' "$RESULTS")
  gm=$(awk -v j="$job" '$1==j && $2=="gm" && $3=="ok" {print $4}' "$RESULTS")
  ratio() { [ -n "$1" ] && awk -v a="$wall" -v b="$1" 'BEGIN {printf "%.2fx", a / b}' || echo "-"; }
  printf '%-20s %-4s %8.1f %8.1f %9.0f %10.1f %9s %9s  %s\n' "$name" "$job" "$wall" "$cpu" \
    "$(echo "$rss / 1024" | bc)" "$(echo "scale=1; $size / 1048576" | bc)" "$(ratio "$im")" \
    "$(ratio "$gm")" "$verdict"
done <"$RESULTS"
echo
echo "inputs: $PAGES pages in $WORK/in-$PAGES ($(du -sh "$WORK/in-$PAGES" | cut -f1)); threads: $THREADS"
