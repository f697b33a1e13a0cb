#!/usr/bin/env bash
# The Windows build, cross-compiled on Debian 12 and tested under Wine:
#   1. installs what is missing (MinGW-w64, nasm, Wine, ...);
#   2. builds the libraries, static, from Debian's own source packages
#      (libjpeg-turbo, libpng, zlib, PCRE2, and GoogleTest from the googletest
#      package) once, into ${XDG_CACHE_HOME:-~/.cache}/tarvolin/win64-<versions>;
#   3. builds Tarvolin into build-win64/ (or $TARVOLIN_WIN64_BUILD_DIR) with
#      cmake/mingw64.cmake and runs its tests under Wine with ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVOLIN_WIN64_BUILD_DIR:-$root/build-win64}"
jobs="$(nproc)"
toolchain="$root/cmake/mingw64.cmake"
# Raise when the way the libraries are built changes: a new cache is made.
recipe=3

stage_start=0
stage() { stage_start=$(date +%s); echo "== $*"; }
took() { echo "-- $1: $(( $(date +%s) - stage_start )) s"; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# --- 1. what the cross-build needs ------------------------------------------
packages=(g++-mingw-w64-x86-64-posix nasm wine64 cmake make pkg-config dpkg-dev googletest xz-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  stage "installing: ${missing[*]}"
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  took "install"
fi

# --- 2. the libraries --------------------------------------------------------
# apt-get source needs the deb-src twin of the machine's Debian sources.
srclist=/etc/apt/sources.list.d/tarvolin-deb-src.sources
if ! apt-cache showsrc zlib 2>/dev/null | grep -q '^Version:'; then
  if [ ! -f "$srclist" ]; then
    twin="$(mktemp)"
    # deb822 files: each Debian stanza again, as deb-src.
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ && !/(^|\n)Enabled: *no/ {
             sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$twin"
    done
    # One-line files: each Debian "deb" line again, as deb-src, in deb822.
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      awk '$1 == "deb" && $0 ~ /debian/ {
             i = 2; opts = ""
             if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
             signed = ""
             if (match(opts, /signed-by=[^] ]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
             printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
             for (j = i + 2; j <= NF; j++) printf " %s", $j
             printf "\n"
             if (signed != "") printf "Signed-By: %s\n", signed
             printf "\n" }' "$f" >>"$twin"
    done
    if [ ! -s "$twin" ]; then
      echo "windows.sh: no Debian apt source found to take the deb-src twin of" >&2
      exit 1
    fi
    echo "Adding the deb-src twin of the Debian apt sources: $srclist"
    $sudo install -m 644 "$twin" "$srclist"
    rm -f "$twin"
  fi
  apt_get update -qq
fi

# Source versions of a package, newest first.
versions_of() {
  local v sorted=()
  for v in $(apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -u); do
    local i=0
    while [ $i -lt ${#sorted[@]} ] && dpkg --compare-versions "${sorted[$i]}" gt "$v"; do i=$((i + 1)); done
    sorted=("${sorted[@]:0:$i}" "$v" "${sorted[@]:$i}")
  done
  printf '%s\n' "${sorted[@]}"
}

libs=(libjpeg-turbo libpng1.6 zlib pcre2)
declare -A candidates
for l in "${libs[@]}"; do
  candidates[$l]="$(versions_of "$l")"
  if [ -z "${candidates[$l]}" ]; then
    echo "windows.sh: apt knows no source package $l" >&2
    exit 1
  fi
done
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
gcc_version="$(x86_64-w64-mingw32-g++-posix -dumpfullversion)"
recipe_hash="$(printf '%s\n' "$recipe" "$gcc_version" | cat - "$toolchain" | sha256sum | cut -c1-8)"

cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/tarvolin"
mkdir -p "$cache_root"
# What the newest known sources resolved to last time (the newest may not be
# downloadable: the archive has answered 404 for some security updates).
wanted_key="$( { for l in "${libs[@]}"; do echo "$l ${candidates[$l]}"; done; echo "$gtest_version $recipe_hash"; } |
  sha256sum | cut -c1-12)"
resolved_file="$cache_root/.win64-$wanted_key.resolved"
prefix=""
if [ -f "$resolved_file" ] && [ -d "$cache_root/$(cat "$resolved_file")" ]; then
  prefix="$cache_root/$(cat "$resolved_file")"
fi

if [ -z "$prefix" ]; then
  stage "building the libraries for Windows"
  work="$(mktemp -d "$cache_root/.win64-build.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  declare -A built
  for l in "${libs[@]}"; do
    mkdir -p "$work/src/$l"
    for v in ${candidates[$l]}; do
      if (cd "$work/src/$l" && apt-get -o APT::Sandbox::User=root source -qq "$l=$v" >"$work/src/$l.log" 2>&1); then
        built[$l]="$v"
        break
      fi
      why="$(tail -n1 "$work/src/$l.log")"
      grep -q '404 *Not Found' "$work/src/$l.log" && why="404 Not Found"
      echo "   $l $v: not downloadable ($why), trying the next older version"
      rm -rf "${work:?}/src/$l"/*
    done
    if [ -z "${built[$l]:-}" ]; then
      echo "windows.sh: no source version of $l could be downloaded:" >&2
      cat "$work/src/$l.log" >&2
      exit 1
    fi
  done
  declare -A short=([libjpeg-turbo]=jpeg [libpng1.6]=png [zlib]=zlib [pcre2]=pcre2)
  name="win64"
  for l in "${libs[@]}"; do v="${built[$l]}"; name+="_${short[$l]}-${v#*:}"; done
  name+="_gtest-${gtest_version#*:}_$recipe_hash"
  name="$(echo "$name" | tr '~+' '..')"
  prefix="$cache_root/$name"
fi

if [ ! -d "$prefix" ]; then
  # Everything is installed under $work/stage with the final paths (the .pc
  # files name their prefix), and moved into place only once complete.
  stage_dir="$work/stage"
  staged="$stage_dir$prefix"
  src_of() { find "$work/src/$1" -mindepth 1 -maxdepth 1 -type d | head -n1; }
  lib_configure() {  # name source-dir cmake-args...
    local n="$1" s="$2"
    shift 2
    cmake -S "$s" -B "$work/build/$n" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" "$@" >"$work/$n.configure.log" 2>&1 ||
      { cat "$work/$n.configure.log" >&2; return 1; }
  }
  lib_make() {  # name [--target t]
    local n="$1"
    shift
    cmake --build "$work/build/$n" -j"$jobs" "$@" >"$work/$n.build.log" 2>&1 ||
      { tail -n 50 "$work/$n.build.log" >&2; return 1; }
  }
  lib_build() {  # name source-dir cmake-args...
    local t=$(date +%s)
    lib_configure "$@"
    lib_make "$1"
    DESTDIR="$stage_dir" cmake --install "$work/build/$1" >/dev/null
    echo "   $1: $(( $(date +%s) - t )) s"
  }
  # zlib: the static library only. Its DLL cannot be built from Debian's
  # source (the resource script is left out of it), nor is it wanted. The
  # library is named libzlibstatic.a; libz.a is the name -lz (zlib.pc,
  # libpng16.pc) and FindZLIB look for first.
  t=$(date +%s)
  lib_configure zlib "$(src_of zlib)"
  lib_make zlib --target zlibstatic
  mkdir -p "$staged/lib/pkgconfig" "$staged/include"
  cp "$work/build/zlib/libzlibstatic.a" "$staged/lib/libzlibstatic.a"
  cp "$work/build/zlib/libzlibstatic.a" "$staged/lib/libz.a"
  cp "$work/build/zlib/zconf.h" "$(src_of zlib)/zlib.h" "$staged/include/"
  cp "$work/build/zlib/zlib.pc" "$staged/lib/pkgconfig/"
  echo "   zlib: $(( $(date +%s) - t )) s"
  lib_build libpng "$(src_of libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR="$staged/include" -DZLIB_LIBRARY="$staged/lib/libzlibstatic.a"
  # REQUIRE_SIMD: fail rather than quietly build the plain C codec.
  lib_build libjpeg-turbo "$(src_of libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
  lib_build pcre2 "$(src_of pcre2)" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DPCRE2_BUILD_PCRE2_8=ON \
    -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF
  lib_build googletest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  for l in "${libs[@]}"; do echo "${l}=${built[$l]}"; done >"$staged/VERSIONS"
  echo "googletest=$gtest_version" >>"$staged/VERSIONS"
  # -T: a cache that another run finished meanwhile is kept, not nested into.
  mv -T "$staged" "$prefix" 2>/dev/null || [ -d "$prefix/lib" ]
  took "libraries"
else
  echo "== libraries for Windows: cached"
fi
basename "$prefix" >"$resolved_file"
rm -rf "${work:-}"
trap - EXIT
echo "Libraries for Windows: $prefix"
sed 's/^/   /' "$prefix/VERSIONS"

# --- 3. Tarvolin for Windows, and its tests under Wine -----------------------
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
server="$(command -v wineserver || true)"
[ -n "$server" ] || server=/usr/lib/wine/wineserver
# The test programs start Wine's services detached (cmake/wine_run.sh); they
# are stopped when this script ends, whichever way.
trap '"$server" -k 2>/dev/null || true' EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Made once (about 10 s); the test discovery during the build needs it.
  stage "making the Wine prefix $WINEPREFIX"
  "$root/cmake/wine_run.sh" "$WINEPREFIX" cmd /c exit 0
  took "Wine prefix"
fi

stage "building Tarvolin for Windows in $build"
fresh=()
# Other libraries than last time: nothing found in them may stay cached.
if [ -f "$build/CMakeCache.txt" ] &&
   ! awk -v p="$prefix" '/^TARVOLIN_WIN64_PREFIX:/ { sub(/^[^=]*=/, ""); same = ($0 == p) } END { exit !same }' \
       "$build/CMakeCache.txt"; then
  fresh=(--fresh)
fi
cmake "${fresh[@]}" -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTARVOLIN_WIN64_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOLIN_WERROR=ON -DTARVOLIN_BUILD_QT=OFF -DTARVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"
took "build"

stage "tests under Wine"
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300
took "tests"
