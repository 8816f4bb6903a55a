#!/usr/bin/env bash
# End-to-end checks of the sandbox program on a real X server (Xvfb) with real X input (xdotool,
# through the XTEST extension), reading back its output and its pixels.
#
#   e2e_sandbox.sh SANDBOX window|throw|space|escape|save
#
# Exit status 0: passed; 77: a tool is missing (ctest reports the test as skipped).
set -uo pipefail

sandbox=$1
mode=$2
title="Quorrel Application"

log_files=(out err)
source "$(dirname "$0")/x_session.sh"
begin_x_session Xvfb xdotool xwininfo import convert

# The program talks to this X server whatever the calling environment chose (headless CI often
# exports SDL_VIDEODRIVER=offscreen, which would give a window that no X tool can see). It runs
# in its own working folder, where F5 saves scenes.
mkdir "$work/cwd"
start_sandbox() {
  (cd "$work/cwd" && exec env -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$sandbox") \
    >"$work/out" 2>"$work/err" &
  app_pid=$!
}
open_sandbox_window

# The pointer inside the window: without a window manager, keyboard focus follows it.
xdotool mousemove --window "$wid" 400 300
sleep 0.5

# Mean brightness (0..1) of a w x h region at (x, y) of the window's picture.
shot=0
brightness() {
  shot=$((shot + 1))
  import -window "$wid" "$work/shot$shot.png" 2>/dev/null || fail "cannot capture the window"
  convert "$work/shot$shot.png" -crop "$3x$4+$1+$2" +repage -colorspace gray -format "%[fx:mean]" info:
}

case "$mode" in
  window)
    [ "$(xdotool getwindowname "$wid")" = "$title" ] || fail "window title"
    info=$(xwininfo -id "$wid")
    width=$(awk '/^ *Width:/ {print $2}' <<<"$info")
    height=$(awk '/^ *Height:/ {print $2}' <<<"$info")
    [ "$width" = 800 ] && [ "$height" = 600 ] || fail "client area is ${width}x${height}, not 800x600"
    # The floor's top edge runs along y 590 from x 10 to 790; nothing is drawn below the floor.
    floor=$(brightness 10 590 780 1)
    awk -v b="$floor" 'BEGIN { exit !(b > 0.99) }' || fail "floor edge not drawn (brightness $floor)"
    echo "window '$title', client area ${width}x${height}"
    ;;
  throw)
    # Empty floor to the right of the pyramid: x 725..775, y 540..590 is where the box lands.
    before=$(brightness 728 545 44 40)
    awk -v b="$before" 'BEGIN { exit !(b == 0) }' || fail "landing area not empty at the start ($before)"
    xdotool mousemove --window "$wid" 740 300
    sleep 0.3
    xdotool mousedown 1
    sleep 0.3
    xdotool mousemove --window "$wid" 750 300  # a drag of 10 pixels: too short to give speed
    sleep 0.3
    xdotool mouseup 1
    # The box falls for about a second at full speed; a loaded machine draws far fewer frames.
    after=0
    for _ in $(seq 60); do
      sleep 0.25
      after=$(brightness 728 545 44 40)
      awk -v b="$after" 'BEGIN { exit !(b > 0.02) }' && break
    done
    awk -v b="$after" 'BEGIN { exit !(b > 0.02) }' || fail "no box landed (brightness $after)"
    echo "landing area brightness $before before the throw, $after after"
    ;;
  space)
    xdotool keydown space
    sleep 0.5
    xdotool keyup space
    sleep 0.3
    # The start-up line on standard error; on standard output the timings alone.
    head -n1 "$work/err" | grep -q "F5 saves the scene" || fail "no start-up line naming the save key"
    cp "$work/out" "$work/timings"
    lines=$(grep -c . "$work/timings")
    [ "$lines" -ge 3 ] || fail "only $lines lines printed while Space was held"
    # Every line: decimal digits, then carriage return and line feed.
    bad=$(LC_ALL=C grep -cv $'^[0-9][0-9]*\r$' "$work/timings")
    [ "$bad" = 0 ] || fail "$bad lines are not decimal digits ended by CR LF"
    [ "$(tail -c 2 "$work/out" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "output does not end in CR LF"
    echo "$lines timing lines while Space was held"
    ;;
  save)
    # F5 twice: two new files, never one replaced, each named in the output.
    echo "keep" >"$work/cwd/scene-0001.json"
    for _ in 1 2; do
      xdotool key F5
      sleep 0.5
    done
    grep -q '^Saved scene-0002.json$' "$work/err" || fail "no 'Saved scene-0002.json' line"
    grep -q '^Saved scene-0003.json$' "$work/err" || fail "no 'Saved scene-0003.json' line"
    [ ! -s "$work/out" ] || fail "standard output holds more than timings: $(head -c 200 "$work/out")"
    [ "$(cat "$work/cwd/scene-0001.json")" = keep ] || fail "scene-0001.json was overwritten"
    for f in scene-0002.json scene-0003.json; do
      grep -q '"version": 1' "$work/cwd/$f" || fail "$f is not a scene file"
    done
    [ -z "$(find "$work/cwd" -name 'scene-save-*')" ] || fail "a temporary file was left behind"
    echo "F5 saved scene-0002.json and scene-0003.json"
    ;;
  escape)
    xdotool keydown Escape
    wait_for_exit
    xdotool keyup Escape
    [ -n "$status" ] || fail "still running 10 s after Escape was pressed"
    [ "$status" = 0 ] || fail "exit status $status after Escape"
    echo "ended with status 0 on Escape"
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
