#!/usr/bin/env bash
# The replay tool as a user runs it: traces, pictures and its refusals.
#
#   replay_tool.sh SANDBOX_REPLAY DATA_DIR trace|png|errors
set -uo pipefail

replay=$1
data=$2
mode=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# Width and height of a PNG from its header (big-endian words at bytes 16 and 20).
png_size() {
  local w h
  w=$(od -An -tu1 -j16 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
  h=$(od -An -tu1 -j20 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
  echo "${w}x${h}"
}

case "$mode" in
  trace)
    "$replay" --frames 30 --input "$data/throw.txt" --trace "$work/a.txt" >"$work/out" || fail "first run"
    "$replay" --input "$data/throw.txt" --trace "$work/b.txt" --frames 30 >/dev/null || fail "second run"
    cmp "$work/a.txt" "$work/b.txt" || fail "two runs of one script gave different traces"
    # 184 particles a frame, 4 more from frame 5 (first throw) and 4 more from frame 14.
    lines=$(wc -l <"$work/a.txt")
    [ "$lines" = $((4 * 184 + 9 * 188 + 17 * 192)) ] || fail "trace has $lines lines"
    [ "$(head -n1 "$work/a.txt")" = "1 0 10 590" ] || fail "first line: $(head -n1 "$work/a.txt")"
    awk '$1 < 1 || $1 > 30 || NF != 4 { bad = 1 } END { exit bad }' "$work/a.txt" || fail "malformed trace line"
    # Frame 5's new particles (slots 184..187) set off up and to the left.
    awk '$1 == 5 && $2 == 184 { x5 = $3; y5 = $4 } $1 == 6 && $2 == 184 { x6 = $3; y6 = $4 }
         END { exit !(x6 - x5 < -5.5 && x6 - x5 > -6.5 && y6 < y5) }' "$work/a.txt" ||
      fail "the thrown box does not move off to the upper left"
    # The trace does not depend on whether a picture is taken.
    "$replay" --frames 30 --input "$data/throw.txt" --trace "$work/c.txt" --png "$work/c.png" >/dev/null ||
      fail "third run"
    cmp "$work/a.txt" "$work/c.txt" || fail "taking a picture changed the trace"
    # Space held for frame 8: one timing per step, whole milliseconds of a clock that only
    # moves when the program sleeps, so 0.
    [ "$(cat "$work/out")" = $'0\r\n0\r\n0\r' ] || fail "timings: $(od -c "$work/out" | head -3)"
    echo "two runs, $lines identical lines"
    ;;
  png)
    "$replay" --frames 12 --png "$work/last.png" --png-every 5 --png-dir "$work/series" || fail "run"
    [ "$(png_size "$work/last.png")" = 800x600 ] || fail "picture is $(png_size "$work/last.png")"
    ls "$work/series" >"$work/list"
    [ "$(cat "$work/list")" = $'frame-000005.png\nframe-000010.png' ] || fail "series: $(cat "$work/list")"
    [ "$(png_size "$work/series/frame-000010.png")" = 800x600 ] || fail "series picture size"
    [ "$(ls "$work" | grep -c tmp)" = 0 ] || fail "temporary files left behind"
    echo "800x600 pictures written"
    ;;
  errors)
    printf '1 move 10 10\n\n3 down one\n' >"$work/bad-value.txt"
    printf '0 down 1\n' >"$work/bad-frame.txt"
    printf '2 fly 1\n' >"$work/bad-kind.txt"
    check() {  # expected-message-part, arguments...
      local want=$1
      shift
      "$replay" "$@" >"$work/stdout" 2>"$work/stderr"
      local status=$?
      [ "$status" = 2 ] || fail "$* exited with $status, not 2"
      [ "$(wc -l <"$work/stderr")" = 1 ] || fail "$*: message is not one line: $(cat "$work/stderr")"
      grep -q -- "$want" "$work/stderr" || fail "$*: message lacks '$want': $(cat "$work/stderr")"
      [ ! -e "$work/t.txt" ] || fail "$*: left a trace behind"
    }
    check "unknown option '--speed'" --frames 5 --speed 2 --trace "$work/t.txt"
    check "--frames" --trace "$work/t.txt"
    check "not a whole number" --frames ten
    check "cannot read input script" --frames 5 --input "$work/none.txt" --trace "$work/t.txt"
    check "bad-value.txt:3: button: 'one' is not a whole number" --frames 5 --input "$work/bad-value.txt" --trace "$work/t.txt"
    check "bad-frame.txt:1: frame number 0 is below 1" --frames 5 --input "$work/bad-frame.txt" --trace "$work/t.txt"
    check "bad-kind.txt:1: unknown event kind 'fly'" --frames 5 --input "$work/bad-kind.txt"
    check "cannot create" --frames 5 --trace "$work/no/such/dir/t.txt"
    check "cannot create" --frames 5 --png "$work/no/such/dir/p.png"
    check "at least one frame" --frames 0 --png "$work/p.png"
    "$replay" --frames 0 --trace "$work/empty.txt" || fail "--frames 0 should run and end at once"
    [ -e "$work/empty.txt" ] && [ ! -s "$work/empty.txt" ] || fail "--frames 0 should write an empty trace"
    echo "every refusal exits 2 with one line"
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
