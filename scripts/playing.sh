#!/usr/bin/env bash
# Makes the pictures of the README's Playing section with the headless replay tool, in the clear
# look, from the scripts in docs/playing/: the tools at work on the pyramid (tools.png), a shape
# cut out of the sheet (cut.png), and an animation of a grab and a cut on the ropes scene
# (grab-cut.gif, from the replay's picture series, joined by ImageMagick's convert).
#
#   scripts/playing.sh [BUILD_DIR]      (default: build; run scripts/test.sh or build first)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
replay=$build/tools/sandbox-replay
out=$root/docs/playing
[ -x "$replay" ] || { echo "playing.sh: no $replay; build first" >&2; exit 1; }

"$replay" --look clear --frames 90 --input "$out/tools.txt" --png "$out/tools.png" >/dev/null
echo "$out/tools.png"
"$replay" --look clear --scene sheet --frames 100 --input "$out/cut.txt" --png "$out/cut.png" \
  >/dev/null
echo "$out/cut.png"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$replay" --look clear --scene ropes --frames 180 --input "$out/grab-cut.txt" --png-every 3 \
  --png-dir "$work" >/dev/null
# Every third frame at its real pace (20 a second), smaller, 24 colours without dithering and
# only the changes from frame to frame: a file of some 300 KB.
convert -delay 5 -loop 0 "$work"/frame-*.png -resize 60% +dither -colors 24 -layers Optimize \
  "$out/grab-cut.gif"
echo "$out/grab-cut.gif"
