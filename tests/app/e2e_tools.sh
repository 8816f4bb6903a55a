#!/usr/bin/env bash
# The tools in a live session: the real sandbox under Xvfb, driven with real X input (xdotool),
# with --record and --trace. A right-button drag lifts a box of the pyramid; then, in the cloth
# scene, a pinned point is dragged elsewhere and stays there, a cut stroke tears the cloth, and a
# box and a rope are drawn. sandbox-replay runs the recording, and its trace must be the live
# one, bit for bit.
#
#   e2e_tools.sh SANDBOX SANDBOX_REPLAY
#
# Exit status 0: passed; 77: a tool is missing (ctest reports the test as skipped).
set -uo pipefail

sandbox=$1
replay=$2
title="Quorrel Application"

log_files=(out err session.txt replay.err)
source "$(dirname "$0")/x_session.sh"
begin_x_session Xvfb xdotool

start_sandbox() {
  (cd "$work" && exec env -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$sandbox" \
     --record session.txt --trace live.txt) >"$work/out" 2>"$work/err" &
  app_pid=$!
}
open_sandbox_window

at() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.15; }
drag() {  # button x0 y0 x1 y1: press, move in eight steps, release
  at "$2" "$3"
  xdotool mousedown "$1"
  sleep 0.15
  for i in 1 2 3 4 5 6 7 8; do at $(( $2 + ($4 - $2) * i / 8 )) $(( $3 + ($5 - $3) * i / 8 )); done
  sleep 0.3
  xdotool mouseup "$1"
  sleep 0.3
}
click() { at "$1" "$2"; xdotool click 1; sleep 0.3; }
key() { xdotool key "$1"; sleep 0.4; }

at 400 300
sleep 0.3
# The pyramid's bottom-left box by its top-left corner (100, 530), lifted 240 pixels and held
# there while the frames go by.
at 101 531
xdotool mousedown 3   # X's button 3 is the right one
sleep 0.15
for i in 1 2 3 4 5 6 7 8; do at 101 $(( 531 - 30 * i )); done
sleep 1
xdotool mouseup 3
sleep 0.3
key F1                   # the panel, to switch to the cloth
click 129 84
key F1
sleep 0.5
key 4                    # pin the cloth's particle of row 4, column 2 ...
click 240 104
drag 3 240 104 150 250   # ... and move it with the right button: it stays where it is dropped
sleep 0.5
key 3                    # cut: a quick stroke across the whole cloth between its rows 8 and 9
at 180 180
xdotool mousedown 1
xdotool mousemove --window "$wid" 400 180 mousemove --window "$wid" 620 180
sleep 0.3
xdotool mouseup 1
sleep 0.3
key 5                    # a box
drag 1 600 300 660 350
key 6                    # a rope from empty space
drag 1 720 40 720 200
key 1
sleep 1
xdotool keydown Escape
status=""
for _ in $(seq 100); do
  if ! kill -0 "$app_pid" 2>/dev/null; then
    wait "$app_pid"
    status=$?
    break
  fi
  sleep 0.1
done
xdotool keyup Escape
[ -n "$status" ] || fail "still running 10 s after Escape was pressed"
app_pid=""
[ "$status" = 0 ] || fail "exit status $status after Escape"

check_recording '^[0-9]+ grab 101 531$' '^[0-9]+ drag 101 291$' '^[0-9]+ release$' \
                '^[0-9]+ scene cloth$' '^[0-9]+ tool cut$' '^[0-9]+ cut ' '^[0-9]+ pin 240 104$' \
                '^[0-9]+ grab 240 104$' '^[0-9]+ drag 150 250$' '^[0-9]+ box 600 300 660 350$' \
                '^[0-9]+ rope 720 40 720 200$' '^[0-9]+ tool throw$'

# What the tools did, read from the trace (frame, slot, x, y).
y_of() { awk -v f="$1" -v i="$2" '$1 == f && $2 == i { print $4 }' "$work/live.txt"; }
xy_of() { awk -v f="$1" -v i="$2" '$1 == f && $2 == i { print $3, $4 }' "$work/live.txt"; }
release=$(sed -n 's/^\([0-9]*\) release$/\1/p' "$s" | head -n1)
lifted=$(y_of "$release" 4)
awk -v y="$lifted" 'BEGIN { exit !(y < 320) }' ||
  fail "the grabbed box's corner is at y $lifted when let go, not lifted near 291"
# The cloth's slots: the floor's 4, then row by row, 25 a row. Below the cut it has fallen to
# the floor; the pinned particle stands where it was dropped, to the bit.
low=$(y_of "$frames" $(( 4 + 14 * 25 + 12 )))
awk -v y="$low" 'BEGIN { exit !(y > 500) }' || fail "the cloth's bottom row is at y $low: not torn off"
pinned=$(xy_of "$frames" $(( 4 + 4 * 25 + 2 )))
[ "$pinned" = "150 250" ] || fail "the pinned particle ends at ($pinned), not (150 250)"
echo "a session of $frames frames with the tools, $(grep -vc '^#' "$s") script lines, replayed bit for bit"
