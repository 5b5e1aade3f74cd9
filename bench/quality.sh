#!/usr/bin/env bash
# Reduction quality: two A4 pages at 300 dpi, the hairline page of bench/text_page.h (strokes 1
# and 2 pixels wide, the hard case) and the print page of bench/print_page.h (body text with
# stems of 3 to 5 pixels, headings, hairline rules and a ruled table), each reduced to 1/2 and
# 1/3 by the area reduction and by the bilinear mapping (and by the library's own Lanczos-3
# filter, as a check on the references), each reduction's PSNR against a Lanczos-3 reduction
# of the same page made by Pillow (Image.LANCZOS) and by ImageMagick (-filter Lanczos).
# Prints a table in dB for each page.
#
#   bench/quality.sh            (make bench-quality)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BENCH_BUILD:-build-bench}
WORK=$BUILD/quality
# Pillow comes with the system's Python, which a user's own python3 may not see.
PYTHON=${PYTHON:-/usr/bin/python3}
CONVERT=${CONVERT:-/usr/bin/convert}

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPX_BUILD_BENCH=ON \
    -DPX_BUILD_TESTS=OFF
fi
mkdir -p "$WORK"
cmake --build "$BUILD" -j "$(nproc)" --target reduce_quality >"$WORK/build.log" 2>&1 ||
  { cat "$WORK/build.log"; exit 1; }
"$BUILD/bench/reduce_quality" "$WORK"

PAGES="hairline print"
for page in $PAGES; do
  for f in 2 3; do
    size=$("$PYTHON" -c "from PIL import Image; print('%dx%d' % Image.open('$WORK/${page}_area24_$f.pgm').size)")
    "$CONVERT" "$WORK/${page}_page.pgm" -filter Lanczos -resize "${size}!" "$WORK/${page}_magick_$f.pgm"
  done
done

"$PYTHON" - "$WORK" $PAGES <<'PY'
import math
import sys

from PIL import Image, ImageChops

work = sys.argv[1]


def psnr(a, b):
    hist = ImageChops.difference(a, b).histogram()
    squares = sum(count * level * level for level, count in enumerate(hist))
    mse = squares / (a.size[0] * a.size[1])
    return math.inf if mse == 0 else 10 * math.log10(255 * 255 / mse)


rows = [("24-bit, area", "area24"), ("24-bit, bilinear", "bilinear24"),
        ("1-bit, area (grey)", "area1"), ("1-bit, bilinear (1-bit)", "bilinear1"),
        ("24-bit, library Lanczos-3 (check)", "lanczos24")]
for page_name in sys.argv[2:]:
    prefix = f"{work}/{page_name}_"
    page = Image.open(f"{prefix}page.pgm").convert("L")
    print(f"\n{page_name} page\n")
    print("| reduction | 1/2, Pillow | 1/2, ImageMagick | 1/3, Pillow | 1/3, ImageMagick |")
    print("|---|---|---|---|---|")
    refs = {}
    for f in (2, 3):
        size = Image.open(f"{prefix}area24_{f}.pgm").size
        refs[f] = (page.resize(size, Image.LANCZOS),
                   Image.open(f"{prefix}magick_{f}.pgm").convert("L"))
    for label, name in rows:
        cells = []
        for f in (2, 3):
            image = Image.open(f"{prefix}{name}_{f}.pgm").convert("L")
            cells += [f"{psnr(image, ref):.1f} dB" for ref in refs[f]]
        print(f"| {label} | " + " | ".join(cells) + " |")
    print(f"| Pillow against ImageMagick | {psnr(*refs[2]):.1f} dB | | {psnr(*refs[3]):.1f} dB | |")
PY
