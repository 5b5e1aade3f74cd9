#!/usr/bin/env bash
# Checks a built pageweaver .deb: lintian's verdict, then, in a fresh Debian 12 root
# with none of the build dependencies, that `apt install ./pageweaver_*.deb` installs it,
# that both programs run there and join two images, and that removing it leaves nothing.
#
#   scripts/package-check.sh PACKAGE.deb
#
# The Debian 12 root is made once with debootstrap (PACKAGE_CHECK_BASE, default
# build-package/debian12) and copied for every check. Needs root.
set -euo pipefail
deb=$(realpath "${1:?usage: package-check.sh PACKAGE.deb}")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
base=${PACKAGE_CHECK_BASE:-$source_dir/build-package/debian12}
mirror=${PACKAGE_CHECK_MIRROR:-http://deb.debian.org/debian}
security=${PACKAGE_CHECK_SECURITY:-http://deb.debian.org/debian-security}

echo "== lintian $(basename "$deb")"
# Errors fail; warnings and the informational tags are shown for the reader to judge.
lintian --display-info --fail-on error "$deb"
echo "lintian: no errors"

if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: installing into a Debian 12 root needs root; lintian was all" >&2
  exit 1
fi
if [ ! -x "$base/usr/bin/apt-get" ]; then
  echo "== debootstrap: a minimal Debian 12 in $base (once)"
  rm -rf "$base.partial"
  debootstrap --variant=minbase bookworm "$base.partial" "$mirror" >/dev/null
  cat >"$base.partial/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
SOURCES
  mv "$base.partial" "$base"
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/pageweaver-package-check.XXXXXX")
cleanup() {
  for m in dev/pts dev proc; do umount "$root/$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mkdir -p "$root/check"
cp "$deb" "$root/check/"
cp "$source_dir/samples/hopper.jpg" "$source_dir/samples/basn2c08.png" "$root/check/"

echo "== install into the clean Debian 12 root"
chroot "$root" /bin/bash -euo pipefail -c '
  export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
  cd /check
  for dev in libtiff-dev qt6-base-dev libcairo2-dev; do
    ! dpkg -s "$dev" >/dev/null 2>&1 || { echo "$dev is in the clean root" >&2; exit 1; }
  done
  apt-get update -qq
  apt-get install -y -qq ./pageweaver_*.deb >apt-install.log 2>&1 ||
    { cat apt-install.log; exit 1; }
  dpkg -s pageweaver | grep -E "^(Package|Version|Section|Depends|Recommends):"
  pageweaver-cli --version
  pageweaver-cli build --quiet -o joined.tif hopper.jpg basn2c08.png
  pageweaver-cli info joined.tif
  [ "$(pageweaver-cli info --json joined.tif | grep -c "\"width\"")" -eq 2 ] ||
    { echo "joined.tif does not hold two pages" >&2; exit 1; }
  for program in pageweaver pageweaver-cli; do
    ! ldd "/usr/bin/$program" | grep "not found" || exit 1
  done
  # The application with two files, as the desktop entry starts it: still running
  # after five seconds means it came up.
  status=0
  QT_QPA_PLATFORM=offscreen timeout 5 pageweaver hopper.jpg basn2c08.png || status=$?
  [ $status -eq 124 ] || { echo "pageweaver ended with status $status" >&2; exit 1; }
  echo "pageweaver started with two images and ran until stopped"
  [ -f /usr/share/applications/org.tinkerfield.PageWeaver.desktop ]
  [ -f /usr/share/man/man1/pageweaver-cli.1.gz ]
'

echo "== remove"
chroot "$root" /bin/bash -euo pipefail -c '
  export DEBIAN_FRONTEND=noninteractive
  apt-get remove --purge -y -qq pageweaver >/dev/null
  ! dpkg -s pageweaver >/dev/null 2>&1 || { echo "pageweaver is still installed" >&2; exit 1; }
  left=$(find /usr /etc -iname "*pageweaver*" -o -iname "org.tinkerfield.*" | sed "/^$/d")
  [ -z "$left" ] || { echo "left after removal:" $left >&2; exit 1; }
  echo "removed; no file of it is left"
'
echo "package-check: $(basename "$deb") is clean, installs, runs and removes"
