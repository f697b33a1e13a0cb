#!/bin/sh
# CPU time the desktop program uses while it waits in its first window with
# no input: starts it under Xvfb in a fresh home and configuration folder
# (no user data is read or written), waits for the main window to be mapped,
# then reads utime + stime of /proc/PID/stat before and after SECONDS.
#
#   bench/gui_idle.sh [BUILD_DIR] [SECONDS] [RUNS]
#
# BUILD_DIR holds src/app/tarvolin (configure with -DTARVOLIN_BUILD_QT=ON).
# Needs xvfb-run and xwininfo (Debian xvfb, x11-utils). Prints one line per
# run and the median.
set -eu

build=${1:-build}
seconds=${2:-10}
runs=${3:-1}
prog=$(realpath "$build/src/app/tarvolin")
[ -x "$prog" ] || { echo "gui_idle: no $prog" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "gui_idle: xvfb-run is missing" >&2; exit 2; }
command -v xwininfo >/dev/null || { echo "gui_idle: xwininfo is missing" >&2; exit 2; }

tmp=$(mktemp -d /tmp/tv_gui_idle_XXXXXX)
trap 'rm -rf "$tmp"' EXIT INT TERM

# The part that runs inside the X server's session.
cat > "$tmp/measure.sh" <<'EOF'
#!/bin/sh
set -eu
prog=$1; seconds=$2; dir=$3
mkdir -p "$dir/home/Pictures" "$dir/config" "$dir/work"
cd "$dir/work"
HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" QT_QPA_PLATFORM=xcb "$prog" >"$dir/out.log" 2>&1 &
pid=$!
# Up to 20 s for the main window to be mapped.
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Tarvolin'; do
  i=$((i + 1))
  if [ $i -gt 200 ] || ! kill -0 $pid 2>/dev/null; then
    echo "gui_idle: no main window" >&2; kill $pid 2>/dev/null || true; exit 1
  fi
  sleep 0.1
done
sleep 1  # let the first paint and layout settle
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks)
sleep "$seconds"
t1=$(ticks)
kill $pid
wait $pid 2>/dev/null || true
hz=$(getconf CLK_TCK)
awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN { printf "%.3f\n", (b - a) / hz }'
EOF
chmod +x "$tmp/measure.sh"

results=""
n=0
while [ $n -lt "$runs" ]; do
  n=$((n + 1))
  rm -rf "$tmp/run"
  mkdir "$tmp/run"
  s=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$tmp/measure.sh" "$prog" "$seconds" "$tmp/run")
  echo "run $n: cpu_s over ${seconds} s idle: $s"
  results="$results $s"
done
echo $results | tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { printf "median cpu_s: %.3f (%d runs)\n", v[int((NR + 1) / 2)], NR }'
