#!/bin/sh
# Runs one program of the Windows cross-build under Wine, in a prefix of the
# build's own:  wine_run.sh PREFIX program.exe [arguments...]
# The emulator of cmake/mingw64.cmake, so gtest_discover_tests and ctest run
# the test programs through it.
#
# Wine's own processes (wineserver, services.exe, winedevice.exe) outlive the
# program and keep the output it was given: a caller that reads to its end
# (ctest, the test discovery) would wait for them for minutes. So they are
# started first, detached, and the program then finds them running.
set -eu
prefix="$1"
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No dialogs offering to install Mono or Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine="$(command -v wine64 || true)"
# Debian 12's wine64 keeps its loader in Wine's library folder, off PATH.
[ -n "$wine" ] || wine="$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$' || true)"
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
server="$(command -v wineserver || true)"
[ -n "$server" ] || server=/usr/lib/wine/wineserver

mkdir -p "$(dirname "$prefix")"
# One caller at a time sets the prefix up (ctest -j runs several).
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
  "$server" -w 9>&- || true
fi
# Exit 0: no server was running, this one is new (it lingers 120 s after the
# last program; tools/windows.sh stops it at once with wineserver -k).
if "$server" -p120 </dev/null >/dev/null 2>&1 9>&-; then
  setsid "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-
exec "$wine" "$@"
