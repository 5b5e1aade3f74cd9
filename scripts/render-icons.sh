#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG into data/icons/SIZE/. The PNGs
# are committed, so building needs no SVG renderer; run this after changing the SVG.
# Needs rsvg-convert (scripts/install-deps.sh icons).
set -euo pipefail
cd "$(dirname "$0")/.."
id=org.tinkerfield.PageWeaver
for size in 48 128 256; do
  mkdir -p "data/icons/$size"
  rsvg-convert --width "$size" --height "$size" "data/icons/$id.svg" -o "data/icons/$size/$id.png"
done
