#!/usr/bin/env bash
# Installs what is missing, builds a Release of Tarvolin, checks its desktop
# entry and AppStream metadata, and makes the Debian package in dist/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
dist="$root/dist"

bash "$root/tools/deps.sh"
# dpkg-shlibdeps (dpkg-dev) works out the Depends line; the other two check
# what the desktop reads.
missing=()
for p in dpkg-dev desktop-file-utils appstream; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTARVOLIN_BUILD_TESTS=OFF -DTARVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

desktop-file-validate "$root/data/tarvolin.desktop" && echo "✔ data/tarvolin.desktop is valid."
appstreamcli validate --no-net "$root/data/tarvolin.metainfo.xml"
# The installed tree as well: the metadata's launchable must find the
# desktop entry where it is installed.
rm -rf "$build/stage"
DESTDIR="$build/stage" cmake --install "$build" >/dev/null
appstreamcli validate-tree --no-net "$build/stage"

rm -f "$build"/tarvolin_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/tarvolin_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: cpack made no tarvolin_*.deb" >&2; exit 1; }
mkdir -p "$dist"
cp "${debs[0]}" "$dist/"
echo "Package: $dist/$(basename "${debs[0]}")"
