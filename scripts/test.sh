#!/usr/bin/env bash
# Sets up, builds and runs every test: the formatting check, a normal build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build, then the browser build (WebAssembly: the
# physics tests and the golden traces under node, the page in headless Chromium; WEB=0 skips
# it), then a short run of every fuzz target (FUZZ_SECONDS each, two at a time on two cores; 0
# skips it). The last line sums up the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${WEB:-1}" != 0 ]; then scripts/install-deps.sh web; else scripts/install-deps.sh; fi

jobs=$(nproc 2>/dev/null || echo 2)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
# Runs the tests of a built tree and adds them up.
run_tests() {
  local dir=$1
  local status=0
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) | tee "$dir/ctest.log" ||
    status=$?
  local total bad
  total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  bad=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$dir/ctest.log" | tail -n 1)
  passed=$((passed + ${total:-0} - ${bad:-0}))
  failed=$((failed + ${bad:-0}))
  return "$status"
}
run() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  run_tests "$dir"
}

echo "== formatting (clang-format, .clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== normal build"
run build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (address, undefined)"
run build-asan -DCMAKE_BUILD_TYPE=Debug -DSANDBOX_SANITIZE=ON -DSANDBOX_BENCH=OFF
if [ "${WEB:-1}" != 0 ]; then
  echo "== browser build (emscripten: WebAssembly + WebGL 2)"
  scripts/web.sh --build-only
  (cd web && npm ci --no-audit --no-fund)
  run_tests build-web
fi
if [ "${FUZZ_SECONDS:-45}" -gt 0 ]; then
  echo "== fuzzing (clang, libFuzzer; ${FUZZ_SECONDS:-45}s per target)"
  scripts/fuzz.sh "${FUZZ_SECONDS:-45}"
fi
echo "tests: $passed passed, $failed failed"
