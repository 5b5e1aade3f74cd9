#!/usr/bin/env bash
# Installs a build into a temporary folder and checks the installed tree as desktops,
# software centres and man read it: desktop-file-validate and appstreamcli pass, the
# manual pages render without a warning, every file the desktop entry and the metadata
# name is there, and the desktop entry claims every image type the application reads.
#
#   scripts/check-install.sh [--skip-missing-tools] BUILD_DIR
#
# With --skip-missing-tools (how CTest runs it) a missing checker skips the check with
# exit status 77 instead of failing.
set -euo pipefail

skip_missing=false
if [ "${1-}" = --skip-missing-tools ]; then
  skip_missing=true
  shift
fi
build=$(cd "${1:?usage: check-install.sh [--skip-missing-tools] BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
id=org.tinkerfield.PageWeaver

for tool in desktop-file-validate appstreamcli man readelf; do
  if ! command -v "$tool" >/dev/null; then
    echo "check-install: $tool is missing (scripts/install-deps.sh installs it)" >&2
    $skip_missing && exit 77
    exit 1
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr

failures=0
fail() {
  echo "check-install: $*" >&2
  failures=$((failures + 1))
}
exists() {
  [ -f "$root/$1" ] || fail "$1 is not installed"
}

desktop=share/applications/$id.desktop
metainfo=share/metainfo/$id.metainfo.xml
for f in bin/pageweaver bin/pageweaver-cli "$desktop" "$metainfo" \
  share/man/man1/pageweaver.1.gz share/man/man1/pageweaver-cli.1.gz \
  share/bash-completion/completions/pageweaver-cli share/doc/pageweaver/copyright; do
  exists "$f"
done

# The validators: errors and warnings fail, hints and pedantic notes are shown.
if ! out=$(desktop-file-validate "$root/$desktop" 2>&1) || grep -qE ': (error|warning):' <<<"$out"; then
  fail "desktop-file-validate: $out"
fi
[ -z "${out-}" ] || echo "$out"
if ! out=$(appstreamcli validate --no-net "$root/$metainfo" 2>&1); then
  fail "appstreamcli validate: $out"
fi

# The manual pages, as man shows them.
for page in "$root"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  if zcat "$page" | grep -q '@[A-Z_]*@'; then fail "$(basename "$page"): unreplaced @VARIABLE@"; fi
done

# Every file the desktop entry names.
key() { sed -n "s/^$1=//p" "$root/$desktop" | head -n 1; }
exec_program=$(key Exec | awk '{ print $1 }')
exists "bin/$exec_program"
[ "$(key TryExec)" = "$exec_program" ] || fail "TryExec '$(key TryExec)' is not Exec's '$exec_program'"
key Exec | grep -q ' %F$' || fail "Exec does not hand over files with %F: $(key Exec)"
icon=$(key Icon)
[ "$icon" = "$id" ] || fail "Icon '$icon' is not the application id"
exists "share/icons/hicolor/scalable/apps/$icon.svg"
for size in 48 128 256; do
  png=share/icons/hicolor/${size}x$size/apps/$icon.png
  exists "$png"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  if [ -f "$root/$png" ] && [ "$(od -An -tx1 -j16 -N8 "$root/$png" | tr -d ' \n')" != \
    "$(printf '%08x%08x' "$size" "$size")" ]; then
    fail "$png is not $size x $size"
  fi
done

# Every file the AppStream metadata names, and its release the project's version.
xml() { grep -oE "<$1( [^>]*)?>[^<]*</$1>" "$root/$metainfo" | sed -E 's/<[^>]*>//g'; }
[ "$(xml id)" = "$id" ] || fail "metainfo id '$(xml id)' is not $id"
exists "share/applications/$(xml launchable)"
[ "$(xml icon)" = "$icon" ] || fail "metainfo icon '$(xml icon)' is not the desktop entry's"
for binary in $(xml binary); do exists "bin/$binary"; done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
newest=$(grep -oE '<release [^>]*version="[^"]*"' "$root/$metainfo" | head -n 1 |
  sed -E 's/.*version="([^"]*)".*/\1/')
[ "$newest" = "$version" ] || fail "the newest release in the metainfo is $newest, the project $version"

# The desktop entry claims the type shared-mime-info gives each extension the
# application reads, and names only types shared-mime-info knows.
mime=/usr/share/mime
if [ -r "$mime/globs2" ]; then
  types=$(key MimeType | tr ';' '\n' | sed '/^$/d')
  for ext in bmp jpg jpeg psd gif pcx png tga tif tiff wmf emf wbmp; do
    type=$(awk -F: -v g="*.$ext" '$3 == g { print $2; exit }' "$mime/globs2")
    [ -n "$type" ] || { fail "shared-mime-info has no type for .$ext"; continue; }
    grep -qxF "$type" <<<"$types" || fail "MimeType lacks $type (.$ext)"
    xml mediatype | grep -qxF "$type" || fail "metainfo provides no mediatype $type (.$ext)"
  done
  for type in $types; do
    grep -qxF "$type" "$mime/types" || awk '{ print $1 }' "$mime/aliases" | grep -qxF "$type" ||
      fail "MimeType names $type, which shared-mime-info does not know"
  done
else
  echo "check-install: $mime/globs2 missing; the MimeType list is not checked" >&2
fi

# The installed programs run from their folder and point at nothing in the build tree.
for program in pageweaver pageweaver-cli; do
  if readelf -d "$root/bin/$program" | grep -E 'R(UN)?PATH' | grep -qE "$source_dir|$build"; then
    fail "bin/$program keeps a run path into the source or build tree"
  fi
done
"$root/bin/pageweaver-cli" --version >/dev/null || fail "the installed pageweaver-cli does not run"

if [ $failures -ne 0 ]; then
  echo "check-install: $failures problems in the installed tree" >&2
  exit 1
fi
echo "check-install: the installed tree of $(find "$root" -type f | wc -l) files is complete and valid"
