#!/usr/bin/env bash
# Installs the Debian package into a fresh, minimal Debian 12 root and checks
# that it works there: its dependencies come in, the programs find every
# library, and tarvolin-batch converts a photo.
#
#   bash tests/package/install_test.sh [PACKAGE.deb]
#
# Default package: the one in dist/ (bash tools/package.sh). Needs root (for
# debootstrap and chroot) and the network to a Debian mirror
# (TARVOLIN_DEBIAN_MIRROR, default http://deb.debian.org/debian).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
mirror="${TARVOLIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

fail() { echo "install_test: FAIL: $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "needs root (debootstrap, chroot)"
  exec sudo TARVOLIN_DEBIAN_MIRROR="$mirror" bash "$0" "$@"
fi

if [ $# -ge 1 ]; then
  deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
else
  deb="$(ls -t "$root"/dist/tarvolin_*.deb 2>/dev/null | head -n1 || true)"
fi
[ -n "$deb" ] && [ -f "$deb" ] || fail "no package; make one with: bash tools/package.sh"
version="$(dpkg-deb -f "$deb" Version)"

# debootstrap builds the root; ImageMagick makes the test photo on this side.
missing=()
for p in debootstrap imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# By full path: another convert earlier in PATH need not be ImageMagick's.
convert=/usr/bin/convert
identify=/usr/bin/identify

work="$(mktemp -d /var/tmp/tarvolin-install-test.XXXXXX)"
r="$work/root"
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  # Never delete through a mount that is still there.
  if grep -q " $work/" /proc/mounts; then
    echo "install_test: left $work in place: something is still mounted in it" >&2
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

in_root() {
  chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

echo "== debootstrap bookworm (minbase) from $mirror"
debootstrap --variant=minbase bookworm "$r" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log" >&2; fail "debootstrap"; }
mount -t proc proc "$r/proc" || fail "mounting /proc in the test root"
mounts+=("$r/proc")
mount --bind /dev/pts "$r/dev/pts" || fail "mounting /dev/pts in the test root"
mounts+=("$r/dev/pts")
cp -L /etc/resolv.conf "$r/etc/resolv.conf"
# A fresh Debian 12 as installed: updates and security too.
cat >"$r/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
# Nothing the dependencies bring may start a service in the test root.
printf '#!/bin/sh\nexit 101\n' >"$r/usr/sbin/policy-rc.d"
chmod 755 "$r/usr/sbin/policy-rc.d"

echo "== apt-get install ./$(basename "$deb")"
cp "$deb" "$r/tmp/"
chmod 644 "$r/tmp/$(basename "$deb")"
in_root apt-get update -qq || fail "apt-get update in the test root"
in_root sh -c "cd /tmp && apt-get install -y -q ./$(basename "$deb")" >"$work/apt.log" 2>&1 ||
  { tail -n 30 "$work/apt.log" >&2; fail "apt-get install of the package"; }

echo "== the installed files"
for f in /usr/bin/tarvolin /usr/bin/tarvolin-batch /usr/share/applications/tarvolin.desktop \
         /usr/share/metainfo/org.tarvolin.tarvolin.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/tarvolin.svg /usr/share/icons/hicolor/64x64/apps/tarvolin.png \
         /usr/share/man/man1/tarvolin-batch.1.gz; do
  [ -f "$r$f" ] || fail "$f is not installed"
done
gzip -t "$r/usr/share/man/man1/tarvolin-batch.1.gz" || fail "the man page is not a gzip file"
if in_root sh -c 'command -v man' >/dev/null; then
  in_root man -w tarvolin-batch >/dev/null || fail "man -w tarvolin-batch finds no page"
fi

echo "== every library found"
# The xcb plugin is what opens the desktop program's window.
xcb="$(in_root dpkg-query -S '*/qt6/plugins/platforms/libqxcb.so' 2>/dev/null | sed -n '1s/^[^ ]*: //p')"
[ -n "$xcb" ] && [ -f "$r$xcb" ] || fail "Qt's xcb platform plugin is not installed"
for b in /usr/bin/tarvolin /usr/bin/tarvolin-batch "$xcb"; do
  out="$(in_root ldd "$b")" || fail "ldd $b"
  if grep -q "not found" <<<"$out"; then
    grep "not found" <<<"$out" >&2
    fail "$b: libraries not found"
  fi
done

echo "== tarvolin-batch --help, --version"
help="$(in_root tarvolin-batch --help)" || fail "tarvolin-batch --help exits with $?"
grep -q "^Usage: tarvolin-batch FOLDER" <<<"$help" || fail "tarvolin-batch --help: no usage line"
shown="$(in_root tarvolin-batch --version)" || fail "tarvolin-batch --version exits with $?"
[ "$shown" = "tarvolin-batch $version" ] || fail "tarvolin-batch --version says '$shown', the package is $version"

echo "== one photo through tarvolin-batch"
mkdir -p "$r/tmp/photos" "$r/tmp/out" "$r/tmp/run"
"$convert" -size 96x64 gradient:navy-orange -quality 95 "$r/tmp/photos/photo.jpg" || fail "making the test photo"
cp "$r/tmp/photos/photo.jpg" "$work/original.jpg"
rc=0
in_root sh -c 'cd /tmp/run && tarvolin-batch /tmp/photos --to /tmp/out --size 50% --on-collision overwrite --on-error stop' || rc=$?
[ "$rc" -eq 0 ] || fail "tarvolin-batch exits with $rc"
outs=("$r"/tmp/out/*)
[ ${#outs[@]} -eq 1 ] && [ -f "${outs[0]}" ] || fail "expected one output in /tmp/out, found: $(ls -A "$r/tmp/out")"
[ "$("$identify" -format '%m %wx%h' "${outs[0]}")" = "JPEG 48x32" ] ||
  fail "$(basename "${outs[0]}") is not a 48x32 JPEG: $("$identify" "${outs[0]}" 2>&1)"
cmp -s "$r/tmp/photos/photo.jpg" "$work/original.jpg" || fail "the source photo was changed"

echo "install_test: PASS: $(basename "$deb") installs and runs in a fresh Debian 12 root"
