#!/usr/bin/env bash
# The programs start without the libraries the imaging library loads on first use:
# libheif and the codec libraries it brings along (the first HEIF file read), Cairo and
# pixman (the first metafile played). Linked, they would be loaded and set up at every
# start, although most runs never need them.
#   start_libraries_test.sh PROGRAM...
set -uo pipefail
failures=0
for program in "$@"; do
  needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  [ -n "$needed" ] || { echo "FAIL: no libraries listed for $program"; failures=1; continue; }
  if grep -E '^lib(heif|de265|x265|aom|dav1d)\.' <<<"$needed"; then
    echo "FAIL: $program is linked against the HEIF codecs above"
    failures=1
  fi
  if grep -E '^lib(cairo|pixman-1)\.' <<<"$needed"; then
    echo "FAIL: $program is linked against the metafile renderer above"
    failures=1
  fi
done
exit $failures
