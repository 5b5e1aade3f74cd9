#!/usr/bin/env bash
# Installs, from Debian's packages, what PageWeaver needs to build, test and benchmark.
# Quick when everything is there: it asks dpkg first and runs apt-get only for what is
# missing. Works as root (no sudo needed) or through sudo for other users.
#
#   scripts/install-deps.sh            build, test and benchmark dependencies, and the
#                                      checks of the installed tree
#   scripts/install-deps.sh package    also what builds and checks the Debian package
#   scripts/install-deps.sh icons      also the SVG renderer of scripts/render-icons.sh
#   scripts/install-deps.sh fuzz       also clang and its fuzzing runtime
#   scripts/install-deps.sh compare    also the peer tools of the comparison benchmark
set -euo pipefail

packages=(
  cmake ninja-build pkg-config g++
  libtiff-dev libpng-dev libjpeg-dev zlib1g-dev
  libwebp-dev libheif-dev libqpdf-dev
  # libheif's codecs, linked into Debian 12's libheif1: HEVC decoding (HEIC), AV1
  # decoding (AVIF; dav1d first, aom as well), and the encoders the tests make files with.
  libde265-0 libdav1d6 libaom3 libx265-199
  qt6-base-dev libcairo2-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  libtiff-tools clang-format
  # The PDF output's readers in the tests: pdfinfo, pdfimages, pdftoppm and qpdf --check.
  poppler-utils qpdf
  # Readers the tests hold copied pages to (tests skip what is missing).
  python3-pil imagemagick graphicsmagick
  desktop-file-utils appstream man-db bash-completion shared-mime-info
)
for extra in "$@"; do
  case "$extra" in
    package) packages+=(dpkg-dev fakeroot file lintian debootstrap) ;;
    icons) packages+=(librsvg2-bin) ;;
    fuzz) packages+=(clang libclang-rt-14-dev llvm) ;;
    compare) packages+=(imagemagick graphicsmagick time bc libtiff-tools img2pdf) ;;
    *) echo "install-deps: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
run=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then run=(sudo); else
    echo "install-deps: need root to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
