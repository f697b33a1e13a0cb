#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test; then runs them again under the sanitizers and fuzzes the image
# engine briefly (tools/sanitize.sh); last, cross-builds the Windows program
# and runs its tests under Wine (tools/windows.sh). TARVOLIN_SANITIZERS=0
# leaves out the sanitizer runs, TARVOLIN_WINDOWS=0 the Windows one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVOLIN_BUILD_DIR:-$root/build-test}"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOLIN_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
if [ "${TARVOLIN_SANITIZERS:-1}" != 0 ]; then
  bash "$root/tools/sanitize.sh"
fi
if [ "${TARVOLIN_WINDOWS:-1}" != 0 ]; then
  bash "$root/tools/windows.sh"
fi
