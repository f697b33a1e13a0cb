#!/bin/sh
# Stop-to-question latency on a real X server (Xvfb): runs bench's gui_stop
# over FOLDER (large JPEGs, only read) in a fresh home and configuration
# folder, RUNS times, and prints each run's summary lines.
#
#   bench/gui_stop.sh BUILD_DIR FOLDER [RUNS] [gui_stop options...]
#
# BUILD_DIR must be configured with -DTARVOLIN_BUILD_QT=ON
# -DTARVOLIN_BUILD_BENCH=ON and hold bench/gui_stop.
set -eu

build=${1:?usage: bench/gui_stop.sh BUILD_DIR FOLDER [RUNS] [options]}
folder=${2:?usage: bench/gui_stop.sh BUILD_DIR FOLDER [RUNS] [options]}
runs=${3:-3}
if [ $# -ge 3 ]; then shift 3; else shift $#; fi
prog=$(realpath "$build/bench/gui_stop")
[ -x "$prog" ] || { echo "gui_stop.sh: no $prog" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "gui_stop.sh: xvfb-run is missing" >&2; exit 2; }

tmp=$(mktemp -d /tmp/tv_gui_stop_XXXXXX)
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/config"

n=0
while [ $n -lt "$runs" ]; do
  n=$((n + 1))
  echo "run $n:"
  HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$prog" "$folder" "$@" 2>/dev/null | grep -E '^(stop_|saved)'
done
