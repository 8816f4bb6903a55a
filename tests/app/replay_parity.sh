#!/usr/bin/env bash
# The browser build's replay (replay.js under node) against the desktop's sandbox-replay: every
# script below must give both the same trace, the same saved scene, the same messages (the
# program's name aside) and the same exit status. The scripts use the control commands, switch
# scenes (built in, from a file, one that does not exist), hold bad lines, and save.
#
#   replay_parity.sh SANDBOX_REPLAY NODE_REPLAY SCENE_FILE
# NODE_REPLAY is a program that runs replay.js; SCENE_FILE a scene that scripts load by name.
set -uo pipefail

desktop=$(realpath -m "$1")
node=$(realpath -m "$2")
scene_file=$(realpath -m "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -x "$desktop" ]; then
  echo "SKIP: no desktop build at $desktop (scripts/test.sh builds it first)"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run NAME TOOL ARGS...: runs TOOL in its own copy of the case's folder.
run() {
  local name=$1 tool=$2
  shift 2
  local dir=$work/$name/$(basename "$tool")
  mkdir -p "$dir"
  cp "$work/$name/script.txt" "$dir/"
  cp "$scene_file" "$dir/start.json"
  (cd "$dir" && SDL_VIDEODRIVER=offscreen "$tool" "$@" >stdout 2>stderr; echo $? >status)
  # Messages start with the program's name, which is all that may differ.
  sed -i -e 's/^sandbox-replay:/PROGRAM:/' -e 's/^replay\.js:/PROGRAM:/' "$dir/stderr" "$dir/stdout"
}

# check NAME STATUS ARGS... < script: both tools, the same outcome, and the status expected.
check() {
  local name=$1 want=$2
  shift 2
  mkdir -p "$work/$name"
  cat >"$work/$name/script.txt"
  run "$name" "$desktop" "$@"
  run "$name" "$node" "$@"
  local d=$work/$name/$(basename "$desktop") n=$work/$name/$(basename "$node")
  local status
  status=$(cat "$d/status")
  [ "$status" = "$want" ] || fail "$name: sandbox-replay exit status $status, expected $want"
  for f in status stdout stderr trace.txt saved.json start.json; do
    if [ -e "$d/$f" ] || [ -e "$n/$f" ]; then
      cmp -s "$d/$f" "$n/$f" || {
        fail "$name: $f differs between sandbox-replay and replay.js"
        diff "$d/$f" "$n/$f" | head -n 6
      }
    fi
  done
  [ "$want" != 0 ] || [ -s "$d/trace.txt" ] || fail "$name: no trace written"
}

outputs=(--trace trace.txt --save saved.json)

check commands 0 --frames 80 --input script.txt "${outputs[@]}" <<'EOF'
# every control command, and throws between them
1 steps 5
4 move 300 100
5 down 1
9 move 360 80
10 up 1
12 gravity 0.01 0.12
14 iterations 7
16 bounce 0.6
18 friction 0.3
20 divisor 8
22 move 500 200
23 down 1
27 move 420 120
28 up 1
30 pause 1
32 step
34 pause 0
36 draw boxes 1
38 mode stable
50 mode default
60 restart
70 move 200 100
71 down 1
75 up 1
EOF

check scene-switches 0 --frames=90 --input=script.txt "${outputs[@]}" <<'EOF'
# built-in scenes and a file, switched mid-run, with throws in each
3 scene chain
10 move 400 100
11 down 1
15 move 300 150
16 up 1
30 scene start.json
40 restart
45 move 100 50
46 down 1
48 up 1
60 scene cloth
70 scene pyramid
EOF

check from-scene 0 --frames 40 --scene start.json --input script.txt "${outputs[@]}" <<'EOF'
# a drag under way when the run ends: the save holds it
20 move 200 200
21 down 1
39 move 260 180
EOF

check crowd-default-step 0 --frames 30 --scene crowd --input script.txt --trace trace.txt <<'EOF'
1 mode default
1 move 1126 577
2 down 1
3 up 1
EOF

check no-such-scene 2 --frames 20 --input script.txt "${outputs[@]}" <<'EOF'
2 scene no-such.json
EOF

check bad-command 2 --frames 20 --input script.txt "${outputs[@]}" <<'EOF'
1 move 10 10
4 jump 3
EOF

check bad-frame 2 --frames 20 --input script.txt "${outputs[@]}" <<'EOF'
x move 1 2
EOF

check late-events 0 --frames 10 --input script.txt --trace trace.txt <<'EOF'
# events after the last frame are accepted with a warning
2 move 100 100
50 down 1
EOF

check save-over-scene-input 2 --frames 20 --input script.txt --save start.json <<'EOF'
5 scene start.json
EOF

# Both show a long run's progress on a terminal (a pseudo-terminal made by script(1)); elsewhere
# neither writes it, which the cases above compare.
if command -v script >/dev/null; then
  # Long enough for a progress line (after a quarter of a second) from each: the node build
  # draws nothing and runs ten times faster.
  tools=("$desktop" "$node")
  lengths=(600 6000)
  for i in 0 1; do
    tool=${tools[$i]}
    frames=${lengths[$i]}
    printf -v cmd '%q --frames %d' "$tool" "$frames"
    (cd "$work" && SDL_VIDEODRIVER=offscreen script -qec "$cmd" /dev/null >tty </dev/null) ||
      fail "$(basename "$tool") on a terminal failed"
    grep -aqE "frame [0-9]+ of $frames, [0-9]+ frames a second" "$work/tty" ||
      fail "$(basename "$tool") shows no progress on a terminal"
  done
fi

[ "$failures" = 0 ] || exit 1
echo "replay.js and sandbox-replay agree on every script"
