#!/usr/bin/env bash
# PageWeaver's PDF output against ImageMagick's `convert` and `img2pdf` on the input set of
# bench/compare.sh: job (a), every page as 1-bit Group 4 at 300 dpi, and a mixed job of the
# set's JPEG and PNG pages as they are (img2pdf takes nothing else). Wall time, CPU, peak
# memory and size side by side, and the size of PageWeaver's TIFF of the same pages.
#
#   bench/pdf.sh            (make bench-pdf)
#   PAGES=60 THREADS=2 bench/pdf.sh
set -euo pipefail
cd "$(dirname "$0")/.."

PAGES=${PAGES:-20}
source bench/setup.sh
bench_build pageweaver-cli make_pages
bench_pages
mapfile -t INPUTS < <(ls "$IN"/page* | sort)
mapfile -t MIXED < <(ls "$IN"/page*.jpg "$IN"/page*.png | sort)
# img2pdf reads only JPEG and PNG: job (a) gives it the pages already made bilevel
# (untimed), which it stores as they are.
BILEVEL=$WORK/bilevel-$PAGES
if [ ! -f "$BILEVEL/.done" ]; then
  mkdir -p "$BILEVEL"
  for f in "${INPUTS[@]}"; do
    base=${f##*/}
    convert "$f" -colorspace Gray -threshold 50% -type Bilevel -density 300 -units PixelsPerInch \
      "$BILEVEL/${base%.*}.png"
  done
  touch "$BILEVEL/.done"
fi
mapfile -t BILEVELS < <(ls "$BILEVEL"/*.png | sort)

export MAGICK_CONFIGURE_PATH=$PWD/bench/magick
export OMP_NUM_THREADS=$THREADS
RESULTS=$WORK/pdf-results.txt
: >"$RESULTS"
source bench/timing.sh

pw_a=(--depth 1 --compression g4 --dpi 300 --threshold 128)
im_a=(-colorspace Gray -threshold 50% -type Bilevel -compress Group4 -density 300 -units PixelsPerInch)
echo "job a ..."
run PageWeaver a "$WORK/out/pw-a.pdf" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-a.pdf" "${pw_a[@]}" "${INPUTS[@]}"
run PageWeaver-TIFF a "$WORK/out/pw-a.tif" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-a.tif" "${pw_a[@]}" "${INPUTS[@]}"
run convert a "$WORK/out/im-a.pdf" convert "${INPUTS[@]}" "${im_a[@]}" "$WORK/out/im-a.pdf"
# Debian's ImageMagick policy forbids writing PDF (a policy of our own cannot lift it);
# GraphicsMagick's convert, which has no such policy, stands beside it.
run gm a "$WORK/out/gm-a.pdf" gm convert "${INPUTS[@]}" -colorspace Gray -threshold 50% \
  -type Bilevel -compress Group4 -density 300x300 -units PixelsPerInch "$WORK/out/gm-a.pdf"
run img2pdf a "$WORK/out/i2p-a.pdf" img2pdf -o "$WORK/out/i2p-a.pdf" "${BILEVELS[@]}"
# The same bilevel PNG pages for both: what each does with identical input.
echo "job a on img2pdf's bilevel pages ..."
run PageWeaver a-png "$WORK/out/pw-a-png.pdf" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-a-png.pdf" "${pw_a[@]}" "${BILEVELS[@]}"
run PageWeaver-TIFF a-png "$WORK/out/pw-a-png.tif" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-a-png.tif" "${pw_a[@]}" "${BILEVELS[@]}"
run img2pdf a-png "$WORK/out/i2p-a-png.pdf" img2pdf -o "$WORK/out/i2p-a-png.pdf" "${BILEVELS[@]}"
echo "mixed job ..."
run PageWeaver mixed "$WORK/out/pw-mixed.pdf" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-mixed.pdf" "${MIXED[@]}"
run PageWeaver-TIFF mixed "$WORK/out/pw-mixed.tif" "$CLI" build --quiet --threads "$THREADS" \
  -o "$WORK/out/pw-mixed.tif" "${MIXED[@]}"
run convert mixed "$WORK/out/im-mixed.pdf" convert "${MIXED[@]}" "$WORK/out/im-mixed.pdf"
run gm mixed "$WORK/out/gm-mixed.pdf" gm convert "${MIXED[@]}" "$WORK/out/gm-mixed.pdf"
run img2pdf mixed "$WORK/out/i2p-mixed.pdf" img2pdf -o "$WORK/out/i2p-mixed.pdf" "${MIXED[@]}"

printf '\n%-16s %-6s %8s %8s %9s %10s %8s %8s %8s %9s  %s\n' tool job "wall s" "cpu s" \
  "peak MB" "size MB" "vs IM" "vs GM" "vs i2p" "vs TIFF" check
while read -r job name status wall cpu rss size out; do
  im=$(awk -v j="$job" '$1==j && $2=="convert" && $3=="ok" {print $4}' "$RESULTS")
  gm=$(awk -v j="$job" '$1==j && $2=="gm" && $3=="ok" {print $4}' "$RESULTS")
  i2p=$(awk -v j="$job" '$1==j && $2=="img2pdf" && $3=="ok" {print $4}' "$RESULTS")
  tiff=$(awk -v j="$job" '$1==j && $2=="PageWeaver-TIFF" {print $7}' "$RESULTS")
  ratio() { [ -n "$1" ] && awk -v a="$2" -v b="$1" 'BEGIN {printf "%.2fx", a / b}' || echo "-"; }
  verdict=$status
  if [ "$status" = ok ] && [ "${out##*.}" = pdf ]; then
    pages=$(pdfinfo "$out" 2>/dev/null | awk '/^Pages:/ {print $2}')
    qpdf --check "$out" >/dev/null 2>&1 && clean=clean || clean="qpdf --check FAILED"
    verdict="$pages pages, $clean"
  fi
  printf '%-16s %-6s %8.2f %8.2f %9.0f %10.2f %8s %8s %8s %9s  %s\n' "$name" "$job" "$wall" \
    "$cpu" "$(echo "$rss / 1024" | bc)" "$(echo "scale=2; $size / 1048576" | bc)" \
    "$(ratio "$im" "$wall")" "$(ratio "$gm" "$wall")" "$(ratio "$i2p" "$wall")" \
    "$(ratio "$tiff" "$size")" "$verdict"
done <"$RESULTS"
echo
echo "inputs: $PAGES pages in $IN (${#MIXED[@]} of them JPEG or PNG); threads: $THREADS"
