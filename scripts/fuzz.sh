#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for the given number of seconds (default 60). New inputs go to
# a temporary directory, never into the committed seed corpora; a failing input is kept in
# build-fuzz/findings/<target>/. Exits non-zero when any target finds something.
#
#   scripts/fuzz.sh [seconds] [target...]
#
# FUZZ_STRICT=all (or a comma-separated list of names) turns the checks for faults known today
# into findings; see fuzz/fuzz_check.h.
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
  for t in fuzz_replay_parse fuzz_tlist fuzz_physics fuzz_sdl_events; do
    [ -x "build-fuzz/fuzz/$t" ] && targets+=("$t")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
export SDL_VIDEODRIVER=offscreen

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for t in "${targets[@]}"; do
  rm -rf "build-fuzz/findings/$t"
  mkdir -p "$scratch/$t" "build-fuzz/findings/$t"
  log="build-fuzz/findings/$t.log"
  status=0
  "build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
    "$scratch/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  known=$(grep -c '^== known fault' "$log" || true)
  if [ "$status" -eq 0 ]; then
    echo "$t: ${execs:-?} executions in ${seconds}s, no finding"
    grep '^== known fault' "$log" | cut -c1-300 || true
  else
    echo "$t: FINDING (status $status) after ${execs:-?} executions; log $log"
    grep -E '^(== fuzz invariant|==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 || true
    ls "build-fuzz/findings/$t" | head -n 3
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
