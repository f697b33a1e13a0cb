#!/usr/bin/env bash
# Kills real batches at random moments and checks that no photo was lost.
# Each trial copies a few photos of the corpus into a fresh folder, starts
# bench/batch writing every photo over itself at half size, kills it after
# a random delay (SIGKILL and SIGTERM in turn), and has bench/crash_check
# compare every photo with its original: intact, or replaced by a complete
# picture of half the size; nothing else in the folder but the batch's own
# temporary files. A last batch over the folder of the last killed trial
# must take those away.
#   tools/crash_trials.sh N [CORPUS]     (CORPUS: bench/build_corpus.sh's, /tmp/tv_corpus)
set -euo pipefail
trials="${1:?usage: tools/crash_trials.sh N [CORPUS]}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVOLIN_BUILD_DIR:-$root/build-test}"
corpus="${2:-/tmp/tv_corpus}"

[ -d "$corpus" ] || bash "$root/bench/build_corpus.sh" "$corpus"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target batch crash_check -j"$(nproc)" >/dev/null

work="$(mktemp -d /tmp/tv_crash.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/originals"
# Eight photos of every size the corpus has, progressive ones among them.
find "$corpus" -maxdepth 1 -name '*.jpg' | sort | awk 'NR % 5 == 1' | head -n 8 | while IFS= read -r f; do
  cp "$f" "$work/originals/"
done
batch="$build/bench/batch"
check="$build/bench/crash_check"

# How long a whole batch takes here: the kills fall anywhere in it.
cp -a "$work/originals" "$work/run"
t0=$(date +%s%N)
"$batch" "$work/run" --over-itself --no-floor >/dev/null
span_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
"$check" "$work/originals" "$work/run" >/dev/null || { echo "crash_trials: an uninterrupted batch is wrong"; exit 1; }

killed=0 finished=0 failed=0 intact=0 replaced=0 leftovers=0
for ((i = 1; i <= trials; i++)); do
  rm -rf "$work/run" "$TMPDIR"/*
  cp -a "$work/originals" "$work/run"
  signal=KILL
  (( i % 2 == 0 )) && signal=TERM
  delay=$(awk -v span="$span_ms" -v seed="$RANDOM$i" 'BEGIN { srand(seed); printf "%.3f", rand() * span / 1000 }')
  "$batch" "$work/run" --over-itself --no-floor >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  if kill -s "$signal" "$pid" 2>/dev/null; then killed=$((killed + 1)); else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  if ! report=$("$check" "$work/originals" "$work/run"); then
    failed=$((failed + 1))
    echo "trial $i (SIG$signal after ${delay}s):"
    echo "$report"
  fi
  set -- $(echo "$report" | tail -n 1)
  intact=$((intact + $2)) replaced=$((replaced + $4)) leftovers=$((leftovers + $8))
done

# The next batch into the folder removes what the last kill left.
"$batch" "$work/run" --over-itself --no-floor >/dev/null 2>&1 || true
after=$(find "$work/run" -maxdepth 1 -name '.*' -type f | wc -l)

photos=$(ls "$work/originals" | wc -l)
echo "trials: $trials ($killed killed: SIGKILL and SIGTERM in turn, $finished finished first), $photos photos each, batch ${span_ms} ms"
echo "photos intact: $intact, replaced by a complete output: $replaced, lost or broken: in $failed trials"
echo "temporary files left by the kills: $leftovers; left after the next batch: $after"
[ "$failed" -eq 0 ] && [ "$after" -eq 0 ]
