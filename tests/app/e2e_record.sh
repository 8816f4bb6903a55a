#!/usr/bin/env bash
# A live session recorded and replayed: the real sandbox under Xvfb, driven with real X input
# (xdotool) through throws, the controls panel and its keys, pauses and a restart, with
# --record and --trace; then sandbox-replay runs the recording, and its trace must be the live
# one, bit for bit.
#
#   e2e_record.sh SANDBOX SANDBOX_REPLAY [INT|TERM|HUP|display]
#
# With a signal's name, a short session from a scene file whose name holds a line break is
# ended by that signal instead of Escape: the program must end by the signal with both files
# whole, and the recording must replay, with no frame count of its own, to the very frame the
# session ended at, giving the live trace. With `display`, the X server goes away under the
# session instead.
#
# Exit status 0: passed; 77: a tool is missing (ctest reports the test as skipped).
set -uo pipefail

sandbox=$1
replay=$2
signal=${3:-}
title="Quorrel Application"

log_files=(out err session.txt replay.err)
source "$(dirname "$0")/x_session.sh"
begin_x_session Xvfb xdotool

scene_args=()
if [ -n "$signal" ]; then
  scene=$'my\nscene.json'
  "$replay" --frames 0 --save "$work/$scene" >/dev/null 2>&1 || fail "cannot make the scene file"
  scene_args=(--scene "$scene")
fi
start_sandbox() {
  # A shell starts background jobs with SIGINT ignored; give the program its default action.
  (cd "$work" && exec env -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 --default-signal=INT \
     "$sandbox" "${scene_args[@]}" --record session.txt --trace live.txt) \
     >"$work/out" 2>"$work/err" &
  app_pid=$!
}
open_sandbox_window

at() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.15; }
drag() {  # x0 y0 x1 y1: press, move in steps, release
  at "$1" "$2"
  xdotool mousedown 1
  sleep 0.15
  for i in 1 2 3 4; do at $(( $1 + ($3 - $1) * i / 4 )) $(( $2 + ($4 - $2) * i / 4 )); done
  xdotool mouseup 1
  sleep 0.3
}
click() { at "$1" "$2"; xdotool click 1; sleep 0.3; }
key() { xdotool key "$1"; sleep 0.4; }

at 400 300
sleep 0.3
drag 700 250 760 200      # a throw

if [ "$signal" = display ]; then
  # The X server goes away under the session: the program says so and ends, leaving no files.
  sleep 0.5
  kill "$xvfb_pid"
  xvfb_pid=""
  wait_for_exit
  [ -n "$status" ] || fail "still running 10 s after the display went away"
  [ "$status" = 1 ] || fail "exit status $status after the display went away"
  grep -q "^sandbox: the connection to the display was lost$" "$work/err" ||
    fail "no word of the lost display"
  ls "$work" | grep -q -e tmp- -e session.txt -e live.txt && fail "files left behind: $(ls "$work")"
  echo "the display went away: exit status 1, nothing left behind"
  exit 0
fi

if [ -n "$signal" ]; then
  sleep 0.5
  kill -"$signal" "$app_pid"
  wait_for_exit
  [ -n "$status" ] || fail "still running 10 s after SIG$signal"
  [ "$status" = $((128 + $(kill -l "$signal"))) ] || fail "exit status $status after SIG$signal"
  s="$work/session.txt"
  grep -vEq '^(#|[0-9])' "$s" && fail "the scene's name broke the recording's first line"
  ls "$work" | grep -q tmp- && fail "temporary files left behind: $(ls "$work")"
  "$replay" --frames 1000000 --scene "$work/$scene" --input "$s" --trace "$work/replay.txt" \
    2>"$work/replay.err" || fail "sandbox-replay failed on the recording"
  cmp -s "$work/live.txt" "$work/replay.txt" ||
    fail "the replay's trace differs from the live one: $(cmp "$work/live.txt" "$work/replay.txt")"
  echo "SIG$signal after $(tail -n1 "$work/live.txt" | cut -d' ' -f1) frames: both files whole," \
    "the recording replays to the same frame"
  exit 0
fi

key F1                    # the panel opens
click 25 222              # Paused
key n                     # one frame, twice
key n
drag 150 291 175 291      # gravity's y slider
click 25 475              # particles
click 25 498              # tested pairs
drag 250 64 600 100       # pressed on the panel, released over the scene: no throw
key p                     # running again
drag 620 150 560 120      # a throw
key r                     # restart
key F1                    # the panel closes
drag 700 200 720 180      # a throw into the fresh pyramid
sleep 0.3
xdotool keydown Escape
wait_for_exit
xdotool keyup Escape
[ -n "$status" ] || fail "still running 10 s after Escape was pressed"
[ "$status" = 0 ] || fail "exit status $status after Escape"

check_recording '^[0-9]+ panel 1$' '^[0-9]+ pause 1$' '^[0-9]+ step$' '^[0-9]+ gravity ' \
                '^[0-9]+ draw particles 1$' '^[0-9]+ draw pairs 1$' '^[0-9]+ capture 1$' \
                '^[0-9]+ pause 0$' '^[0-9]+ restart$' '^[0-9]+ panel 0$' '^[0-9]+@[0-9]+ ' \
                '^0@[0-9]+ '
# Two boxes were thrown into the first pyramid (the drag begun on the panel threw none), and
# one into the fresh pyramid after the restart.
count() { awk -v f="$1" '$1 == f' "$work/live.txt" | wc -l; }
restart=$(sed -n 's/^\([0-9]*\) restart$/\1/p' "$s")
before=$(count $((restart - 1)))
[ "$before" = 192 ] || fail "before the restart $before particles, not 184 + 2 boxes' 8"
last=$(count "$frames")
[ "$last" = 188 ] || fail "the last frame has $last particles, not 184 + 1 box's 4"
echo "a session of $frames frames, $(grep -vc '^#' "$s") script lines, replayed bit for bit"
