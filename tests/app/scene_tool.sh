#!/usr/bin/env bash
# Scenes through the programs as a user runs them.
#
#   scene_tool.sh SANDBOX_REPLAY SANDBOX DATA_DIR continue SCENE|demo|session|grab
#   scene_tool.sh SANDBOX_REPLAY SANDBOX DATA_DIR errors
#
# continue: N frames, --save, then M frames from the saved file give the same trace as N + M
# frames straight through (frames renumbered), with boxes thrown in both parts.
set -uo pipefail

replay=$1
sandbox=$2
data=$3
mode=$4
source "$(dirname "$0")/../support/scratch.sh"

# The part of a script after frame n, renumbered from 1, led by a move to where the cursor was
# at frame n (the frame the continuation starts after).
script_tail() {
  awk -v n="$2" '
    /^[ \t]*(#|$)/ { next }
    $1 <= n && $2 == "move" { x = $3; y = $4; moved = 1 }
    $1 > n { $1 = $1 - n; tail[++k] = $0 }
    END {
      if (moved) print "1 move " x " " y
      for (i = 1; i <= k; ++i) print tail[i]
    }' "$1"
}

case "$mode" in
  continue)
    scene=$5
    if [ "$scene" = demo ]; then
      # The demo's own start (no --scene) and its throw script, split between the throws.
      script=$data/throw.txt
      n=10
      m=30
      start=()
    elif [ "$scene" = grab ]; then
      # The demo split while a grab holds its top box up: the hold goes on after the load.
      script=$data/grab.txt
      n=20
      m=40
      start=()
    elif [ "$scene" = session ]; then
      # The demo after panel settings, split in the middle of a drag.
      script=$data/session.txt
      n=40
      m=30
      start=()
    else
      script=$data/scene_throws.txt
      n=40
      m=60
      # The crowd's collision pass is slow in the sanitizer build: a shorter second part, which
      # still holds the second throw (frame 50).
      [ "$scene" = crowd ] && m=20
      start=(--scene "$scene")
    fi
    script_tail "$script" "$n" >"$work/tail.txt"
    "$replay" "${start[@]}" --frames $((n + m)) --input "$script" --trace "$work/whole.txt" \
      >/dev/null || fail "straight run"
    # (The script's later events are left out of this part, with a warning.)
    "$replay" "${start[@]}" --frames "$n" --input "$script" --save "$work/saved.json" \
      >/dev/null 2>&1 || fail "first part"
    "$replay" --scene "$work/saved.json" --frames "$m" --input "$work/tail.txt" \
      --trace "$work/rest.txt" >/dev/null 2>"$work/err" || fail "second part: $(cat "$work/err")"
    ! grep -q "warning" "$work/err" || fail "loading the saved scene warned: $(cat "$work/err")"
    awk -v n="$n" '$1 > n { $1 = $1 - n; print }' "$work/whole.txt" >"$work/whole-tail.txt"
    [ -s "$work/rest.txt" ] || fail "empty trace"
    cmp -s "$work/whole-tail.txt" "$work/rest.txt" ||
      fail "$scene: frames $((n + 1))..$((n + m)) differ from the continuation: $(diff "$work/whole-tail.txt" "$work/rest.txt" | head -3)"
    # The throws of the second part happened: the last frame has more particles than the first.
    first=$(awk '$1 == 1' "$work/rest.txt" | wc -l)
    last=$(awk -v m="$m" '$1 == m' "$work/rest.txt" | wc -l)
    [ "$last" -gt "$first" ] || fail "no box was thrown in the second part ($first, $last particles)"
    echo "ok: $scene, $n + $m frames, $last particles at the end"
    ;;
  errors)
    cd "$work" || exit 1
    expect() {  # expect STATUS PATTERN COMMAND...
      local want=$1 pattern=$2
      shift 2
      "$@" >"$work/out" 2>&1
      local got=$?
      [ "$got" = "$want" ] || fail "$* -> status $got, not $want: $(cat "$work/out")"
      grep -q -- "$pattern" "$work/out" || fail "$* -> no '$pattern' in: $(cat "$work/out")"
    }
    printf '{"version": 1,\n  "world": {"width": 800 "height": 600}}\n' >syntax.json
    expect 2 "syntax.json:2:26: syntax error" "$replay" --frames 1 --scene syntax.json --trace t.txt
    [ ! -e t.txt ] || fail "a bad scene left a trace behind"
    sed 's/"ends": \[4, 5\]/"ends": [4, 9999]/' "$data/../../../scenes/chain.json" >ends.json
    expect 2 "ends.json: constraints\[6\].ends\[1\]: names particle 9999" \
      "$replay" --frames 1 --scene ends.json
    # A value no world can step is refused as a syntax error is, before any window.
    sed '0,/"mass": 1}/s//"mass": -1}/' "$data/../../../scenes/chain.json" >mass.json
    expect 2 "mass.json: particles\[[0-9]*\].mass: must be above 0 for a particle that moves" \
      "$sandbox" --scene mass.json
    sed 's/"version": 1/"version": 2/' "$data/../../../scenes/chain.json" >v2.json
    expect 2 "v2.json: version: unknown version 2" "$replay" --frames 1 --scene v2.json
    sed 's/"template": 3/"template": 3, "colour": "red"/' "$data/../../../scenes/chain.json" >extra.json
    expect 0 "warning: extra.json: (top): unknown field 'colour' ignored" \
      "$replay" --frames 1 --scene extra.json
    expect 2 "neither a file nor a built-in scene (built-in: bridge, chain" \
      "$replay" --frames 1 --scene nosuch
    mkdir dir
    expect 2 "'dir' is a directory" "$replay" --frames 1 --scene dir
    expect 2 "--save 'dir' is a directory" "$replay" --frames 1 --save dir
    expect 2 "--trace 'same.txt' and --save 'same.txt' name the same file" \
      "$replay" --frames 1 --trace same.txt --save same.txt
    cp "$data/../../../scenes/chain.json" in.json
    expect 2 "--scene 'in.json' and --save 'in.json' name the same file" \
      "$replay" --frames 1 --scene in.json --save in.json
    # Nor may it replace a scene file that the script loads.
    printf '2 scene in.json\n' >load.txt
    expect 2 "load.txt:1: scene 'in.json' and --save 'in.json' name the same file" \
      "$replay" --frames 3 --input load.txt --save in.json
    cmp -s in.json "$data/../../../scenes/chain.json" || fail "the script's scene file was changed"
    ln -s elsewhere.json link.json
    expect 2 "--save" "$replay" --frames 1 --save link.json
    expect 2 "--save needs a file name" "$replay" --frames 1 --save
    # A saved scene loads again and saves to the same text.
    "$replay" --frames 3 --scene cloth --save a.json >/dev/null || fail "save"
    "$replay" --frames 0 --scene a.json --save b.json >/dev/null || fail "load and save"
    cmp -s a.json b.json || fail "a scene saved after no frames differs from the one loaded"
    # The sandbox itself refuses a bad scene before it opens a window.
    expect 2 "sandbox: ends.json: constraints\[6\]" "$sandbox" --scene ends.json
    expect 2 "unknown option" "$sandbox" --frames 3
    expect 0 "built-in scene" "$sandbox" --help
    echo "ok: scene errors"
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
