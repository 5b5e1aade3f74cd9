#!/usr/bin/env bash
# Pages copied as their sources store them against the same pages converted again
# (--reencode), timed side by side in one run:
#   c      the comparison's 60 A4 pages with --depth 24 --compression jpeg (job c)
#   c-jpeg only its JPEG pages, each copied whole
#   g4     an all-fax set of G4 pages (each fax page under many names), against `cat` of
#          the inputs into one file: the floor of reading and writing the bytes
# Every output is checked with tiffinfo -D; the JPEG pages' PSNR against their source is
# measured with ImageMagick's compare (a copied page's is infinite).
#
#   bench/copy.sh            (make bench-copy)
#   FAX_PAGES=1000 THREADS=2 bench/copy.sh
set -euo pipefail
cd "$(dirname "$0")/.."

PAGES=60
FAX_PAGES=${FAX_PAGES:-504}
RUNS=${RUNS:-3}

source bench/setup.sh
bench_build pageweaver-cli make_pages
bench_pages
mapfile -t ALL < <(ls "$IN"/page* | sort)
mapfile -t JPEGS < <(ls "$IN"/page*.jpg | sort)
mapfile -t FAXES < <(ls "$IN"/page*-fax.tif | sort)
# The fax pages under as many names as it takes (the same file twice is one page).
FAXDIR=$WORK/fax-$FAX_PAGES
mkdir -p "$FAXDIR"
for ((i = 0; i < FAX_PAGES; ++i)); do
  f=${FAXES[$((i % ${#FAXES[@]}))]}
  name=$(printf '%s/%04d-%s' "$FAXDIR" "$i" "${f##*/}")
  [ -e "$name" ] || ln "$f" "$name"
done
mapfile -t G4 < <(ls "$FAXDIR"/* | sort)

# Each round runs every configuration once, so that the runs compared are taken side by
# side rather than minutes apart; the best wall time of RUNS rounds and the output's size.
RESULTS=$WORK/copy-results.txt
declare -A FASTEST
timed() {
  local name=$1 out=$2
  shift 2
  rm -f "$out"
  local start end t
  start=$(date +%s.%N)
  "$@" >/dev/null 2>"$WORK/out/$name.err" || { echo "$name FAILED"; cat "$WORK/out/$name.err"; exit 1; }
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc)
  if [ -z "${FASTEST[$name]:-}" ] || [ "$(echo "$t < ${FASTEST[$name]}" | bc)" = 1 ]; then
    FASTEST[$name]=$t
  fi
}

pw() { "$CLI" build --quiet --threads "$THREADS" "$@"; }
catfloor() {
  local out=$1
  shift
  cat "$@" >"$out"
}

echo "job c (${#ALL[@]} pages), its ${#JPEGS[@]} JPEG pages, and $FAX_PAGES G4 pages; best of $RUNS rounds ..."
c=(--depth 24 --compression jpeg)
NAMES=(c-copy c-reencode c-jpeg-copy c-jpeg-reencode g4-copy g4-reencode g4-cat)
declare -A OUT=([c-copy]=c-copy.tif [c-reencode]=c-reencode.tif [c-jpeg-copy]=j-copy.tif
  [c-jpeg-reencode]=j-reencode.tif [g4-copy]=g4-copy.tif [g4-reencode]=g4-reencode.tif
  [g4-cat]=g4-cat.bin)
for ((r = 0; r < RUNS; ++r)); do
  timed c-copy "$WORK/out/c-copy.tif" pw -o "$WORK/out/c-copy.tif" "${c[@]}" "${ALL[@]}"
  timed c-reencode "$WORK/out/c-reencode.tif" pw --reencode -o "$WORK/out/c-reencode.tif" "${c[@]}" "${ALL[@]}"
  timed c-jpeg-copy "$WORK/out/j-copy.tif" pw -o "$WORK/out/j-copy.tif" "${c[@]}" "${JPEGS[@]}"
  timed c-jpeg-reencode "$WORK/out/j-reencode.tif" pw --reencode -o "$WORK/out/j-reencode.tif" "${c[@]}" "${JPEGS[@]}"
  timed g4-copy "$WORK/out/g4-copy.tif" pw -o "$WORK/out/g4-copy.tif" "${G4[@]}"
  timed g4-reencode "$WORK/out/g4-reencode.tif" pw --reencode -o "$WORK/out/g4-reencode.tif" "${G4[@]}"
  timed g4-cat "$WORK/out/g4-cat.bin" catfloor "$WORK/out/g4-cat.bin" "${G4[@]}"
done
: >"$RESULTS"
for name in "${NAMES[@]}"; do
  out=$WORK/out/${OUT[$name]}
  echo "$name ${FASTEST[$name]} $(stat -c %s "$out") $out" >>"$RESULTS"
done

for out in c-copy c-reencode j-copy j-reencode g4-copy g4-reencode; do
  tiffinfo -D "$WORK/out/$out.tif" >/dev/null 2>"$WORK/out/$out.tiffinfo" ||
    { echo "$out: tiffinfo -D failed"; cat "$WORK/out/$out.tiffinfo"; exit 1; }
  [ ! -s "$WORK/out/$out.tiffinfo" ] || { echo "$out: tiffinfo -D warned"; head "$WORK/out/$out.tiffinfo"; exit 1; }
done

# Every name counts (the fax pages are links to a few files, which du would count once).
inputs() { stat -L -c %s "$@" | awk '{n += $1} END {print n}'; }
jpeg_bytes=$(inputs "${JPEGS[@]}")
g4_bytes=$(inputs "${G4[@]}")
field() { awk -v n="$1" -v f="$2" '$1 == n {print $f}' "$RESULTS"; }
printf '\n%-18s %8s %10s\n' run "wall s" "size MB"
while read -r name wall size out; do
  printf '%-18s %8.2f %10.1f\n' "$name" "$wall" "$(echo "scale=1; $size / 1048576" | bc)"
done <"$RESULTS"
echo
awk -v a="$(field c-reencode 2)" -v b="$(field c-copy 2)" 'BEGIN {printf "job c: --reencode / copy = %.1fx\n", a / b}'
awk -v a="$(field c-jpeg-reencode 2)" -v b="$(field c-jpeg-copy 2)" 'BEGIN {printf "JPEG pages: --reencode / copy = %.1fx\n", a / b}'
awk -v s="$(field c-jpeg-copy 3)" -v i="$jpeg_bytes" 'BEGIN {printf "JPEG pages: copy output / inputs = %.4f (%d / %d bytes)\n", s / i, s, i}'
awk -v a="$(field g4-copy 2)" -v b="$(field g4-cat 2)" 'BEGIN {printf "G4 pages: copy / cat = %.2fx\n", a / b}'
awk -v a="$(field g4-reencode 2)" -v b="$(field g4-copy 2)" 'BEGIN {printf "G4 pages: --reencode / copy = %.1fx\n", a / b}'
awk -v s="$(field g4-copy 3)" -v i="$g4_bytes" 'BEGIN {printf "G4 pages: copy output / inputs = %.4f\n", s / i}'

# The G4 runs take a few tens of milliseconds, too short for the clock above: interleaved
# runs of the copy and `cat`, best of INTERLEAVED rounds, each output removed untimed; and
# the same pages as one multi-page file (the copy's own output), copied and `cat`.
echo
INTERLEAVED=${INTERLEAVED:-31}
one=$WORK/out/g4-one-source.tif
cp "$WORK/out/g4-copy.tif" "$one"
quoted=$(printf ' %q' "${G4[@]}")
bench/interleaved.py "$INTERLEAVED" \
  "rm -f $WORK/out/i-copy.tif ;; $CLI build --quiet --threads $THREADS -o $WORK/out/i-copy.tif$quoted" \
  "rm -f $WORK/out/i-cat.bin ;; cat$quoted > $WORK/out/i-cat.bin" \
  "rm -f $WORK/out/i-one.tif ;; $CLI build --quiet --threads $THREADS -o $WORK/out/i-one.tif $one" \
  "rm -f $WORK/out/i-one.bin ;; cat $one > $WORK/out/i-one.bin" | tee "$WORK/interleaved.txt" | cut -c1-60
ms() { awk -v n="$1" 'NR == n {print $1}' "$WORK/interleaved.txt"; }
awk -v a="$(ms 1)" -v b="$(ms 2)" 'BEGIN {printf "G4 pages, interleaved: copy / cat = %.2fx\n", a / b}'
awk -v a="$(ms 3)" -v b="$(ms 4)" 'BEGIN {printf "G4 pages in one file, interleaved: copy / cat = %.2fx\n", a / b}'
cmp -s "$WORK/out/i-one.tif" "$one" || { echo "the one-file copy differs from its source"; exit 1; }

# PSNR of the first JPEG pages against their source files.
echo
for i in 0 1 2 3; do
  src=${JPEGS[$i]}
  copy=$(compare -metric PSNR "$WORK/out/j-copy.tif[$i]" "$src" null: 2>&1 || true)
  again=$(compare -metric PSNR "$WORK/out/j-reencode.tif[$i]" "$src" null: 2>&1 || true)
  echo "PSNR ${src##*/}: copy $copy dB, --reencode $again dB"
done
echo
echo "inputs: ${#ALL[@]} pages ($(du -sh "$WORK/in-$PAGES" | cut -f1)), ${#JPEGS[@]} JPEG pages ($jpeg_bytes bytes), $FAX_PAGES G4 pages ($g4_bytes bytes); threads: $THREADS"
