#!/bin/sh
# Builds the development photo corpus from the JPEG wallpapers of Debian's
# plasma-workspace-wallpapers package: the package is only downloaded and
# unpacked (no install), and only the .jpg files are kept, flat, in OUT.
#
#   bench/build_corpus.sh [OUT]      (default: /tmp/tv_corpus)
set -eu

out=${1:-/tmp/tv_corpus}
pkg=plasma-workspace-wallpapers

scratch=$(mktemp -d /tmp/tv_corpus_build.XXXXXX)
trap 'rm -rf "$scratch"' EXIT INT TERM

cd "$scratch"
if ! apt-get download "$pkg" >/dev/null 2>&1; then
    # The package lists may never have been fetched on a fresh machine.
    apt-get update >/dev/null
    apt-get download "$pkg" >/dev/null
fi
deb=$(ls ./*.deb | head -n 1)
mkdir tree
dpkg-deb -x "$deb" tree

mkdir -p "$out"
count=0
# Several wallpapers come in one size per folder under the same file name;
# the path under the package makes each name unique.
find tree -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | sort > list
while IFS= read -r f; do
    rel=${f#tree/usr/share/wallpapers/}
    name=$(printf '%s' "$rel" | sed "s#/contents/images/#_#; s#/contents/#_#; s#/#_#g")
    cp "$f" "$out/$name"
    count=$((count + 1))
done < list

if [ "$count" -eq 0 ]; then
    echo "build_corpus: no JPEG found in $deb" >&2
    exit 1
fi
echo "build_corpus: $count JPEG files in $out"
