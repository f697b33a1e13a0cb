#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in the current folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DTARVOLIN_BUILD_TESTS=OFF -DTARVOLIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" --target tarvolin -j"$(nproc)"
exec "$root/build/src/app/tarvolin"
