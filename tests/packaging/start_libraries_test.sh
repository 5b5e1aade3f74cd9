#!/usr/bin/env bash
# The programs start without the libraries they load only when a file needs them: libheif
# and its codecs (the first HEIF file read), Cairo and pixman (the first metafile played)
# and libqpdf with the crypto libraries it brings (the PDF module, when the first PDF is
# written). The command-line tool does without Qt too. The PDF module itself is linked
# against libqpdf, which is what the package's dependencies are read from.
#   start_libraries_test.sh CLI GUI PDF_MODULE
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: start_libraries_test.sh CLI GUI PDF_MODULE" >&2; exit 2; }
failures=0
needed() {
  readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}
# refuse PROGRAM PATTERN WHAT: fails when PROGRAM lists a library matching PATTERN.
refuse() {
  local listed
  listed=$(needed "$1")
  [ -n "$listed" ] || { echo "FAIL: no libraries listed for $1"; failures=1; return; }
  if grep -E "$2" <<<"$listed"; then
    echo "FAIL: $1 is linked against $3 above"
    failures=1
  fi
}
heif='^lib(heif|de265|x265|aom|dav1d)\.'
pdf='^lib(qpdf|gnutls|nettle|hogweed|gmp|p11-kit|tasn1|idn2|unistring)\.'
cairo='^lib(cairo|pixman-1)\.'
for program in "$1" "$2"; do
  refuse "$program" "$heif" "the HEIF codecs"
  refuse "$program" "$pdf" "libqpdf or its crypto libraries"
  refuse "$program" "$cairo" "the metafile renderer"
done
refuse "$1" '^libQt6' "Qt"
if ! needed "$3" | grep -q '^libqpdf\.'; then
  echo "FAIL: the PDF module $3 does not list libqpdf"
  failures=1
fi
exit $failures
