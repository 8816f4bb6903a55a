#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for the given number of seconds (default 60). New inputs go to
# a temporary directory, never into the committed seed corpora; a failing input is kept in
# build-fuzz/findings/<target>/. Exits non-zero when any target finds something.
#
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSANDBOX_FUZZ=ON -DSANDBOX_TESTS=OFF -DSANDBOX_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in fuzz_replay_parse fuzz_tlist fuzz_physics fuzz_sdl_events fuzz_scene_load; do
    [ -x "build-fuzz/fuzz/$t" ] && targets+=("$t")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
export SDL_VIDEODRIVER=offscreen

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One target: its log and findings in build-fuzz/findings/, its new inputs in the scratch dir.
run_one() {
  local t=$1 status=0
  rm -rf "build-fuzz/findings/$t"
  mkdir -p "$scratch/$t" "build-fuzz/findings/$t"
  "build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
    "$scratch/$t" "fuzz/corpus/$t" >"build-fuzz/findings/$t.log" 2>&1 || status=$?
  echo "$status" >"$scratch/$t.status"
}

report() {
  local t=$1 log="build-fuzz/findings/$1.log" status execs
  status=$(cat "$scratch/$t.status")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    echo "$t: ${execs:-?} executions in ${seconds}s, no finding"
    return 0
  fi
  echo "$t: FINDING (status $status) after ${execs:-?} executions; log $log"
  grep -E '^(== fuzz invariant|==[0-9]+==ERROR|SUMMARY)|runtime error' "$log" | cut -c1-400 | head -n 5 || true
  ls "build-fuzz/findings/$t"
  return 1
}

# As many targets at a time as there are cores.
failed=()
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  batch=("${targets[@]:i:jobs}")
  for t in "${batch[@]}"; do run_one "$t" & done
  wait
  for t in "${batch[@]}"; do report "$t" || failed+=("$t"); done
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
