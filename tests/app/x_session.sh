# Sourced by the end-to-end scripts: a scratch folder and a fresh Xvfb for one test, and the
# sandbox's window on it. The sourcing script sets `title` (the window's) and `log_files` (the
# files of its scratch folder that a failure shows), calls `begin_x_session` with the tools it
# needs, and defines `start_sandbox` (starts the program in the background and sets `app_pid`).
# The program and the X server are killed and the scratch folder `work` removed at exit.

# Skips the test (exit 77) when a tool is missing; then makes `work` and starts Xvfb.
begin_x_session() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
  work=$(mktemp -d)
  xvfb_pid=""
  app_pid=""
  trap end_x_session EXIT
  start_xvfb
}

end_x_session() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*"
  local f
  for f in "${log_files[@]}"; do
    [ -s "$work/$f" ] && { echo "--- $f:"; head -c 4000 "$work/$f"; echo; }
  done
  exit 1
}

# Xvfb picks a free display itself and writes its number to fd 3, so parallel runs never clash.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
  # The number is written as the server starts listening; wait until it answers a client, so
  # that the program's own connection never races the server's start.
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
}

# Starts the sandbox and sets `wid` to its window. Now and then a connection to a freshly
# started Xvfb is refused although the server answered xdpyinfo (twice in a row has been seen);
# the program then says it has no display and ends. That start is tried up to four times more.
open_sandbox_window() {
  start_sandbox
  wid=""
  local retries=0
  for _ in $(seq 100); do
    wid=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    if ! kill -0 "$app_pid" 2>/dev/null; then
      if [ "$retries" -lt 4 ] && grep -q "no display to show it on" "$work/err"; then
        echo "note: the X server refused the connection; starting the sandbox again"
        retries=$((retries + 1))
        sleep 0.3
        start_sandbox
        continue
      fi
      fail "the sandbox ended before its window appeared"
    fi
    sleep 0.1
  done
  [ -n "$wid" ] || fail "no window titled '$title' within 10 s"
}

# Waits up to 10 s for the program to end: `status` is then its exit status (128 + N for
# signal N) and `app_pid` empty; `status` stays empty while it still runs.
wait_for_exit() {
  status=""
  local _
  for _ in $(seq 100); do
    if ! kill -0 "$app_pid" 2>/dev/null; then
      wait "$app_pid"
      status=$?
      app_pid=""
      return
    fi
    sleep 0.1
  done
}

# The recording $work/session.txt has a line matching each pattern given and ends with its frame
# count, and `$replay` (sandbox-replay) of it gives the live trace $work/live.txt bit for bit.
# Sets `s` to the recording's path and `frames` to the session's frame count.
check_recording() {
  s="$work/session.txt"
  local want
  for want in "$@"; do
    grep -Eq "$want" "$s" || fail "the recording has no line matching '$want'"
  done
  frames=$(sed -n 's/^# the session ran \([0-9]*\) frames$/\1/p' "$s")
  [ -n "$frames" ] || fail "the recording does not end with the frame count"
  "$replay" --frames "$frames" --input "$s" --trace "$work/replay.txt" 2>"$work/replay.err" ||
    fail "sandbox-replay failed on the recording"
  cmp -s "$work/live.txt" "$work/replay.txt" ||
    fail "the replay's trace differs from the live one: $(cmp "$work/live.txt" "$work/replay.txt")"
}
