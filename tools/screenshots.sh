#!/bin/sh
# Pictures of the four windows in English and French, drawn by the real
# window builders on the Qt backend under a virtual X server, written to
# docs/screenshots/<window>-<lang>.png; with them the image list holding 40
# rows (image-list-40), the question of a typed ratio (question) and the
# folder chooser (folder-chooser), whose buttons and labels are Qt's own in
# the program's language. The same run fails when a caption is cut, a
# gadget spills out of its window or leaves the one layout factor, or a
# box speaks another language than the program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-qt}
out=${1:-$root/docs/screenshots}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DTARVOLIN_BUILD_BENCH=OFF
fi
cmake --build "$build" --target test_gui_flow -j2

mkdir -p "$out"
out=$(cd "$out" && pwd)
run() {
  if command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$@"
  else
    QT_QPA_PLATFORM=offscreen "$@"
  fi
}
run env TARVOLIN_SCREENSHOT_DIR="$out" LC_ALL=C.UTF-8 \
  "$build/tests/test_gui_flow" --gtest_filter='Languages/*'
ls -1 "$out"/*.png
