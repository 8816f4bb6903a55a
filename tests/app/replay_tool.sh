#!/usr/bin/env bash
# The replay tool as a user runs it: traces, pictures and its refusals.
#
#   replay_tool.sh SANDBOX_REPLAY DATA_DIR trace|png|errors|script|early|outputs|progress|signals
set -uo pipefail

replay=$1
data=$2
mode=$3
source "$(dirname "$0")/../support/scratch.sh"

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
    # A value with control bytes is shown escaped, a long one cut in the middle.
    check 'unknown option .--\\x1B.2J\\x0A.' --frames 5 $'--\e[2J\n' --trace "$work/t.txt"
    check "/bad-x*\.\.\.$(printf 'x%.0s' $(seq 24))\.txt'" --frames 5 \
      --input "$work/bad-$(printf 'x%.0s' $(seq 200)).txt"
    "$replay" --frames 0 --trace "$work/empty.txt" || fail "--frames 0 should run and end at once"
    [ -e "$work/empty.txt" ] && [ ! -s "$work/empty.txt" ] || fail "--frames 0 should write an empty trace"
    # The help states the rules the checks apply.
    "$replay" --help >"$work/help" || fail "--help"
    for rule in -1000000..1000000 "60000 events" "with a warning" "last frame drawn" \
      "symbolic link" "Exit status: 0 done, 1 the run failed, 2 usage"; do
      grep -qF -- "$rule" "$work/help" || fail "--help does not say '$rule'"
    done
    echo "every refusal exits 2 with one line"
    ;;
  script)
    # Every key code some key has (counted by injecting 1..255 into the running host), each
    # pressed and released in a frame of its own: the run takes them all.
    keys="8 9 12 13 19 20 27 32 33 34 35 36 37 38 39 40 41 43 44 45 46 47 $(seq 48 57)
          $(seq 65 93) $(seq 95 135) 144 145 $(seq 160 183) $(seq 186 192) $(seq 219 222) 226"
    f=0
    for k in $keys; do
      f=$((f + 1))
      printf '%d keydown %d\n%d keyup %d\n' $f $k $f $k
    done >"$work/keys.txt"
    [ $f = 140 ] || fail "the key list has $f codes"
    "$replay" --frames 141 --input "$work/keys.txt" --trace "$work/t.txt" >/dev/null 2>"$work/err" ||
      fail "every key: $(cat "$work/err")"
    # Cursor positions at both ends of the range, thrown across it.
    printf '1 move 1000000 1000000\n2 down 1\n3 move -1000000 -1000000\n4 up 1\n' >"$work/edge.txt"
    "$replay" --frames 20 --input "$work/edge.txt" --trace "$work/t.txt" 2>"$work/err" ||
      fail "moves at the range's ends: $(cat "$work/err")"
    # As many events in one frame as the check allows.
    yes '1 move 5 5' | head -n 60000 >"$work/full.txt"
    "$replay" --frames 2 --input "$work/full.txt" 2>"$work/err" || fail "60000 events: $(cat "$work/err")"
    # What the run could not deliver is refused before the window opens, naming the line.
    refused() {  # expected message, script text
      printf '%b' "$2" >"$work/bad.txt"
      "$replay" --frames 5 --input "$work/bad.txt" --trace "$work/t2.txt" >/dev/null 2>"$work/err"
      local status=$?
      [ "$status" = 2 ] || fail "'$2' exited with $status, not 2: $(cat "$work/err")"
      grep -qF -- "$1" "$work/err" || fail "'$2': message lacks '$1': $(cat "$work/err")"
      [ ! -e "$work/t2.txt" ] || fail "'$2' left a trace"
    }
    refused "bad.txt:2: key code 7 is not one any key has" '1 keydown 32\n2 keydown 7\n'
    refused "bad.txt:1: key code 255 is not one any key has" '1 keyup 255\n'
    refused "bad.txt:2: x 2147483647 is outside -1000000..1000000" '1 move 5 5\n1 move 2147483647 100\n'
    refused "bad.txt:1: y -2147483600 is outside" '1 move 0 -2147483600\n'
    cat "$work/full.txt" "$work/full.txt" >"$work/over.txt"
    "$replay" --frames 2 --input "$work/over.txt" 2>"$work/err"
    [ $? = 2 ] || fail "65536 events in one frame: $(cat "$work/err")"
    grep -qF "over.txt:60001: frame 1 has more than 60000 events" "$work/err" || fail "$(cat "$work/err")"
    # Events after the last frame and frames out of order run with a warning naming the line;
    # the events run in frame order, as the same script sorted does.
    printf '5 move 300 100\n2 move 600 200\n3 down 1\n9 up 1\n40 wheel 1\n' >"$work/odd.txt"
    printf '2 move 600 200\n3 down 1\n5 move 300 100\n9 up 1\n' >"$work/sorted.txt"
    "$replay" --frames 30 --input "$work/odd.txt" --trace "$work/a.txt" 2>"$work/err" >/dev/null ||
      fail "odd script: $(cat "$work/err")"
    grep -qF "warning: $work/odd.txt:5: frame 40 is after the last frame, 30" "$work/err" ||
      fail "no warning of the late event: $(cat "$work/err")"
    grep -qF "warning: $work/odd.txt:2: frame 2 comes after frame 5 in the file" "$work/err" ||
      fail "no warning of the order: $(cat "$work/err")"
    "$replay" --frames 30 --input "$work/sorted.txt" --trace "$work/b.txt" 2>/dev/null >/dev/null
    cmp -s "$work/a.txt" "$work/b.txt" || fail "events out of order ran otherwise than sorted"
    echo "every key runs, every undeliverable value is refused by line"
    ;;
  early)
    # Escape held from frame 6 of 30: the program ends there, and --png holds frame 5, the
    # last drawn, byte for byte the series' picture of frame 5.
    printf '2 move 400 300\n6 keydown 27\n' >"$work/esc.txt"
    "$replay" --frames 30 --input "$work/esc.txt" --png "$work/last.png" --png-every 5 \
      --png-dir "$work/series" --trace "$work/t.txt" 2>"$work/err" || fail "run: $(cat "$work/err")"
    cmp -s "$work/last.png" "$work/series/frame-000005.png" || fail "--png is not frame 5"
    [ "$(ls "$work/series")" = frame-000005.png ] || fail "series: $(ls "$work/series")"
    [ "$(tail -n1 "$work/t.txt" | cut -d' ' -f1)" = 5 ] || fail "the trace does not end at frame 5"
    grep -qF "esc.txt:2: Escape is held from frame 6: the run ends after frame 5 of 30" "$work/err" ||
      fail "no note of the early end: $(cat "$work/err")"
    # From frame 1 nothing is drawn: refused, and nothing made.
    printf '1 keydown 27\n' >"$work/esc1.txt"
    "$replay" --frames 30 --input "$work/esc1.txt" --png "$work/p.png" --png-every 5 \
      --png-dir "$work/d" 2>"$work/err"
    [ $? = 2 ] || fail "Escape from frame 1 with --png: $(cat "$work/err")"
    grep -qF "holds Escape from frame 1" "$work/err" || fail "$(cat "$work/err")"
    [ ! -e "$work/p.png" ] && [ ! -e "$work/d" ] || fail "a refused run left something behind"
    echo "the last drawn frame is written"
    ;;
  outputs)
    printf 'keep\n' >"$work/keep.txt"
    printf '1 move 600 200\n' >"$work/in.txt"
    mkdir "$work/dir"
    ln -s keep.txt "$work/link.txt"
    mkfifo "$work/fifo"
    refused() {  # expected message, arguments...
      local want=$1
      shift
      timeout 20 "$replay" "$@" >/dev/null 2>"$work/err"
      local status=$?
      [ "$status" = 2 ] || fail "$* exited with $status, not 2: $(cat "$work/err")"
      grep -qF -- "$want" "$work/err" || fail "$*: message lacks '$want': $(cat "$work/err")"
      [ "$(wc -l <"$work/err")" = 1 ] || fail "$*: not one line: $(cat "$work/err")"
    }
    refused "name the same file" --frames 3 --trace "$work/keep.txt" --png "$work/./keep.txt"
    refused "name the same file" --frames 3 --input "$work/in.txt" --trace "$work/dir/../in.txt"
    ln "$work/keep.txt" "$work/hard.txt"
    refused "name the same file" --frames 3 --trace "$work/keep.txt" --png "$work/hard.txt"
    refused "is also a picture of the --png-dir series" --frames 12 --png "$work/dir/frame-000010.png" \
      --png-every 5 --png-dir "$work/dir"
    refused "is a symbolic link, not a regular file" --frames 3 --trace "$work/link.txt"
    refused "is a pipe, not a regular file" --frames 3 --png "$work/fifo"
    refused "is a directory" --frames 3 --trace "$work/dir"
    refused "is a directory" --frames 3 --png "$work/dir/"
    refused "is not a directory" --frames 3 --png-every 1 --png-dir "$work/keep.txt/pics"
    # PNG data is never written under a name that says another picture format.
    refused "writes PNG pictures, not jpg" --frames 3 --png "$work/a.jpg"
    refused "writes PNG pictures, not gif" --frames 3 --trace "$work/t.txt" --png "$work/A.GIF"
    [ ! -e "$work/a.jpg" ] && [ ! -e "$work/A.GIF" ] && [ ! -e "$work/t.txt" ] ||
      fail "a refused picture name left a file behind"
    # A failed check makes no picture directory.
    refused "cannot create" --frames 3 --trace "$work/none/t.txt" --png-every 1 --png-dir "$work/pics"
    refused "is a directory" --frames 3 --trace "$work/dir" --png-every 1 --png-dir "$work/pics"
    [ ! -e "$work/pics" ] || fail "a refused run made its picture directory"
    [ "$(cat "$work/keep.txt")" = keep ] && [ "$(cat "$work/in.txt")" = '1 move 600 200' ] ||
      fail "a refused run changed a file"
    [ -L "$work/link.txt" ] && [ -p "$work/fifo" ] && [ -z "$(ls "$work/dir")" ] ||
      fail "a refused run replaced a link, a pipe or wrote into a directory"
    [ -z "$(ls "$work" | grep tmp-)" ] || fail "temporary files left: $(ls "$work")"
    echo "every colliding or irreplaceable output is refused before the run"
    ;;
  progress)
    # A long run shows its progress on standard error when that is a terminal (here a pseudo-
    # terminal made by script(1)), and no progress when it is a file or a pipe (a sanitizer
    # build may still write its own report there).
    command -v script >/dev/null || { echo "SKIP: no script(1) to make a terminal"; exit 77; }
    args=(--frames 600)
    progress='frame [0-9]+ of 600|'$'\r'
    "$replay" "${args[@]}" 2>"$work/err" >/dev/null || fail "the run to a file failed"
    grep -aqE "$progress" "$work/err" &&
      fail "progress was written to a file: $(head -c 200 "$work/err")"
    "$replay" "${args[@]}" 2>&1 >/dev/null | cat >"$work/err"
    grep -aqE "$progress" "$work/err" &&
      fail "progress was written to a pipe: $(head -c 200 "$work/err")"
    printf -v cmd '%q ' "$replay" "${args[@]}"
    script -qec "$cmd" /dev/null >"$work/tty" </dev/null || fail "the run on a terminal failed"
    grep -aqE 'frame [0-9]+ of 600, [0-9]+ frames a second, [0-9]+ s left' "$work/tty" ||
      fail "no progress line on a terminal: $(head -c 200 "$work/tty" | od -c | head -n 5)"
    echo "progress on a terminal only"
    ;;
  signals)
    # An interrupted run removes its temporary files and ends by the signal that stopped it.
    printf '1 keydown 32\n' >"$work/space.txt"  # Space held: a timing line on stdout each step
    interrupted() {  # signal, expected status
      mkdir "$work/run"
      # A shell starts background jobs with SIGINT ignored; give it back its default action.
      env --default-signal=INT "$replay" --frames 1000000 --trace "$work/run/t.txt" \
        --png-every 1 --png-dir "$work/run/pics" >/dev/null 2>&1 &
      local pid=$! i
      for i in $(seq 200); do
        ls "$work/run" | grep -q 'tmp-' && break
        sleep 0.05
      done
      ls "$work/run" | grep -q 'tmp-' || fail "$1: no temporary trace file seen"
      sleep 0.3
      kill -"$1" $pid
      wait $pid
      local status=$?
      [ "$status" = "$2" ] || fail "after SIG$1 the exit status is $status, not $2"
      [ -z "$(find "$work/run" -name '*tmp-*')" ] || fail "SIG$1 left $(find "$work/run" -name '*tmp-*')"
      rm -rf "$work/run"
    }
    interrupted INT 130
    interrupted TERM 143
    mkdir "$work/run"
    "$replay" --frames 1000000 --input "$work/space.txt" --trace "$work/run/t.txt" 2>/dev/null |
      head -c 10 >/dev/null
    status=${PIPESTATUS[0]}
    [ "$status" = 141 ] || fail "after a closed pipe the exit status is $status, not 141"
    [ -z "$(ls "$work/run")" ] || fail "a closed pipe left $(ls "$work/run")"
    echo "SIGINT, SIGTERM and SIGPIPE leave no temporary file"
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
