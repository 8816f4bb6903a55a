# Sourced by the end-to-end scripts: a fresh Xvfb for one test, and the sandbox's window on it.
# The sourcing script sets `work` (its scratch folder), `title` (the window's), defines `fail`
# and `start_sandbox` (starts the program in the background and sets `app_pid`), and kills
# `xvfb_pid` and `app_pid` when it ends.

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
# started Xvfb is refused although the server answered xdpyinfo; the program then says it has
# no display and ends. That start is tried once more.
open_sandbox_window() {
  start_sandbox
  wid=""
  local retried=0
  for _ in $(seq 100); do
    wid=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    if ! kill -0 "$app_pid" 2>/dev/null; then
      if [ "$retried" -eq 0 ] && grep -q "no display to show it on" "$work/err"; then
        echo "note: the X server refused the first connection; starting the sandbox again"
        retried=1
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
