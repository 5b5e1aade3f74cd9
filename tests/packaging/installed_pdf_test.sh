#!/usr/bin/env bash
# The installed command-line tool writes a PDF through the installed PDF module, found
# from the program's own folder wherever the tree is installed (here under DESTDIR).
#   installed_pdf_test.sh BUILD_DIR IMAGE
set -euo pipefail
build=${1:?usage: installed_pdf_test.sh BUILD_DIR IMAGE}
image=${2:?usage: installed_pdf_test.sh BUILD_DIR IMAGE}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
modules=$(find "$stage/usr" -name 'pageweaver-pdf.so' -path '*/pageweaver/*')
[ "$(wc -l <<<"$modules")" -eq 1 ] && [ -n "$modules" ] || {
  echo "FAIL: the PDF module is not installed once: '$modules'"
  exit 1
}
"$stage/usr/bin/pageweaver-cli" build -q -o "$stage/out.pdf" "$image"
head=$(head -c 5 "$stage/out.pdf")
[ "$head" = "%PDF-" ] || { echo "FAIL: the installed CLI wrote '$head', not a PDF"; exit 1; }
