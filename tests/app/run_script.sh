#!/usr/bin/env bash
# scripts/run.sh hands its arguments on: to the sandbox as given when there is a display, and the
# ones a replay can take to the headless replay when there is none. The script runs from a copy
# of the repository's layout in which set-up, cmake and both programs are stand-ins that write
# down what they were given, so that nothing is installed or built.
#
#   run_script.sh RUN_SH
set -uo pipefail

run_sh=$(realpath -m "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work/repo/scripts" "$work/repo/build/app" "$work/repo/build/tools" "$work/bin"
cp "$run_sh" "$work/repo/scripts/run.sh"
# Each stand-in writes its arguments one a line.
standin() {
  printf '#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done >"%s"\n' "$2" >"$1"
  chmod +x "$1"
}
standin "$work/repo/scripts/install-deps.sh" "$work/setup.args"
standin "$work/bin/cmake" /dev/null
standin "$work/repo/build/app/sandbox" "$work/sandbox.args"
standin "$work/repo/build/tools/sandbox-replay" "$work/replay.args"

# run DISPLAY ARGS...: run.sh with that display (empty: none); status in $work/status.
run() {
  local display=$1
  shift
  rm -f "$work"/*.args
  (cd "$work" && PATH="$work/bin:$PATH" DISPLAY=$display WAYLAND_DISPLAY= \
    repo/scripts/run.sh "$@" >"$work/out" 2>"$work/err")
  echo $? >"$work/status"
}

run :99 --scene cloth --frames=3 'two words'
[ "$(cat "$work/status")" = 0 ] || fail "with a display: exit $(cat "$work/status"): $(cat "$work/err")"
[ -e "$work/setup.args" ] || fail "run.sh did not set up first"
printf -- '--scene\ncloth\n--frames=3\ntwo words\n' | cmp -s - "$work/sandbox.args" ||
  fail "the sandbox got: $(cat "$work/sandbox.args" 2>/dev/null)"

run "" --scene cloth --trace=t.txt
[ "$(cat "$work/status")" = 0 ] || fail "without a display: exit $(cat "$work/status"): $(cat "$work/err")"
[ ! -e "$work/sandbox.args" ] || fail "the sandbox was started with no display"
printf -- '--frames\n120\n--scene\ncloth\n--trace\nt.txt\n--png\nout/sandbox.png\n' |
  cmp -s - "$work/replay.args" || fail "the headless replay got: $(cat "$work/replay.args")"
grep -q "No display" "$work/out" || fail "run.sh did not say that there is no display"

run "" --record session.txt
[ "$(cat "$work/status")" = 2 ] || fail "an option the replay cannot take: exit $(cat "$work/status")"
grep -q -- "--record" "$work/err" || fail "the refusal does not name the option: $(cat "$work/err")"
[ ! -e "$work/replay.args" ] || fail "the replay ran after a refused option"
echo "run.sh passes its arguments on"
