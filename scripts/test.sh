#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build, then a short run of every fuzz target (FUZZ_SECONDS each,
# two at a time on two cores; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

echo "== normal build"
run build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (address, undefined)"
run build-asan -DCMAKE_BUILD_TYPE=Debug -DSANDBOX_SANITIZE=ON -DSANDBOX_BENCH=OFF
if [ "${FUZZ_SECONDS:-45}" -gt 0 ]; then
  echo "== fuzzing (clang, libFuzzer; ${FUZZ_SECONDS:-45}s per target)"
  scripts/fuzz.sh "${FUZZ_SECONDS:-45}"
fi
