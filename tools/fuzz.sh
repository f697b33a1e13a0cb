#!/usr/bin/env bash
# Builds the image-engine fuzzers with clang, ASan and UBSan, and runs each
# for SECONDS (default 60). Seeds come from the third-party samples when
# they are there and from pictures the engine writes itself otherwise.
# Crashes are kept under build-fuzz-clang/fuzz-out/<target>/; turn each into
# a test in tests/robustness that builds the bytes in code.
#   tools/fuzz.sh [SECONDS] [TARGET...]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVOLIN_FUZZ_BUILD_DIR:-$root/build-fuzz-clang}"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_load_bmp fuzz_load_jpeg fuzz_load_png fuzz_load_any fuzz_pipeline fuzz_exif)
testdata="$root/../shared/testdata"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DTARVOLIN_FUZZ=ON -DTARVOLIN_BUILD_QT=OFF \
  -DTARVOLIN_BUILD_BENCH=OFF -DTARVOLIN_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVOLIN_SANITIZE=address,undefined,fuzzer-no-link >/dev/null || exit 1
cmake --build "$build" --target "${targets[@]}" fuzz_seeds -j2 >/dev/null || exit 1

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
"$build/fuzz/fuzz_seeds" "$seeds" >/dev/null || exit 1
if [ -d "$testdata" ]; then
  find "$testdata/bmpsuite" -iname '*.bmp' -size -64k -exec cp -t "$seeds/bmp" {} + 2>/dev/null
  find "$testdata/jpeg" \( -iname '*.jpg' -o -iname '*.jpeg' \) -size -64k -exec cp -t "$seeds/jpeg" {} + 2>/dev/null
  find "$testdata/pngsuite" -iname '*.png' -size -64k -exec cp -t "$seeds/png" {} + 2>/dev/null
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  out="$build/fuzz-out/$t"
  mkdir -p "$corpus" "$out"
  case "$t" in
    fuzz_load_bmp) dirs=("$seeds/bmp") ;;
    fuzz_load_jpeg) dirs=("$seeds/jpeg") ;;
    fuzz_load_png) dirs=("$seeds/png") ;;
    fuzz_exif) dirs=("$seeds/exif") ;;
    *) dirs=("$seeds/bmp" "$seeds/jpeg" "$seeds/png") ;;
  esac
  echo "== $t for ${seconds}s"
  "$build/fuzz/$t" "$corpus" "${dirs[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=262144 -artifact_prefix="$out/" -print_final_stats=1 >"$out/log.txt" 2>&1
  rc=$?
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+ *DONE' "$out/log.txt"
  if [ $rc -ne 0 ]; then
    echo "   FINDING (exit $rc): see $out/log.txt"; ls "$out" | grep -v log.txt
    status=1
  fi
done
exit $status
