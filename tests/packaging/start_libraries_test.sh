#!/usr/bin/env bash
# The programs start without libheif and the codec libraries it brings along: those are
# loaded when the first HEIF file is read, not set up at every start.
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
done
exit $failures
