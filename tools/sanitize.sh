#!/usr/bin/env bash
# The sanitizer runs of the test command:
#   1. every test under AddressSanitizer + UndefinedBehaviorSanitizer;
#   2. the tests that run the worker beside the UI thread under ThreadSanitizer;
#   3. each image-engine fuzzer for a short bounded time (tools/fuzz.sh runs
#      them longer).
# Builds without -Werror: GCC's flow warnings are unreliable under
# instrumentation (false maybe-uninitialized in <regex>), and the plain
# build already holds the warnings line.
#   tools/sanitize.sh [asan] [tsan] [fuzz]     (default: all three)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(asan tsan fuzz)
fuzz_seconds="${TARVOLIN_FUZZ_SECONDS:-12}"
export QT_QPA_PLATFORM=offscreen

configure() {  # build-dir sanitizers extra-cmake-args...
  local dir="$1" san="$2"
  shift 2
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="-O1 -g1" \
    -DCMAKE_CXX_FLAGS="-O1 -g1" -DTARVOLIN_BUILD_BENCH=OFF -DTARVOLIN_SANITIZE="$san" "$@" >/dev/null
}

for stage in "${stages[@]}"; do
  case "$stage" in
    asan)
      echo "== every test under ASan + UBSan"
      dir="$root/build-test-asan"
      configure "$dir" address,undefined
      cmake --build "$dir" -j"$jobs"
      ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
      LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0" \
      UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600
      ;;
    tsan)
      echo "== worker and UI thread tests under TSan"
      dir="$root/build-test-tsan"
      # Qt itself is not instrumented, so its own locking is invisible to
      # TSan; the thread tests run on the headless backend.
      configure "$dir" thread -DTARVOLIN_BUILD_QT=OFF
      cmake --build "$dir" -j"$jobs" --target test_ui test_batch test_e2e test_platform
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
        ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 -L '^(ui|batch|e2e|platform)$'
      ;;
    fuzz)
      echo "== fuzzers, ${fuzz_seconds}s each"
      TARVOLIN_FUZZ_BUILD_DIR="$root/build-test-fuzz" bash "$root/tools/fuzz.sh" "$fuzz_seconds"
      ;;
    *)
      echo "unknown stage: $stage" >&2
      exit 2
      ;;
  esac
done
