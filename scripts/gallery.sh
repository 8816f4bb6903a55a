#!/usr/bin/env bash
# Makes the README's pictures with the headless replay tool. The gallery of the built-in scenes:
# one picture per scene (docs/scenes/NAME.png) and an animation of a box thrown into the cloth
# (docs/scenes/throw.gif, from the replay's picture series, joined by ImageMagick's convert).
# The Playing section's, in the clear look, from the scripts in docs/playing/: the tools at work
# on the pyramid (tools.png), a shape cut out of the sheet (cut.png), and an animation of a grab
# and a cut on the ropes scene (grab-cut.gif).
#
#   scripts/gallery.sh [BUILD_DIR]      (default: build; run scripts/test.sh or build first)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
replay=$build/tools/sandbox-replay
out=$root/docs/scenes
[ -x "$replay" ] || { echo "gallery.sh: no $replay; build first" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name, frames, and the input script if any: each picture is the scene at that frame.
while read -r name frames script; do
  input=()
  [ -n "$script" ] && input=(--input "$out/$script")
  "$replay" --scene "$name" --frames "$frames" "${input[@]}" --png "$out/$name.png" >/dev/null
  echo "$out/$name.png"
done <<'LIST'
bridge 150
chain 90
cloth 40 cloth-throw.txt
crowd 400
pyramid 60
ragdoll 120
ropes 90
sheet 60
softbodies 100
stacks 300
tower 45
LIST

"$replay" --scene cloth --input "$out/cloth-throw.txt" --frames 90 --png-every 3 \
  --png-dir "$work" >/dev/null
# Every third frame at its real pace (20 a second), cut to the cloth, smaller, four grey levels
# without dithering and only the changes from frame to frame: a small file.
convert -delay 5 -loop 0 "$work"/frame-*.png -crop 560x320+120+0 +repage -resize 60% \
  +dither -colors 4 -layers Optimize "$out/throw.gif"
echo "$out/throw.gif"

play=$root/docs/playing
"$replay" --look clear --frames 90 --input "$play/tools.txt" --png "$play/tools.png" >/dev/null
echo "$play/tools.png"
"$replay" --look clear --scene sheet --frames 100 --input "$play/cut.txt" --png "$play/cut.png" \
  >/dev/null
echo "$play/cut.png"
rm -f "$work"/frame-*.png
"$replay" --look clear --scene ropes --frames 180 --input "$play/grab-cut.txt" --png-every 3 \
  --png-dir "$work" >/dev/null
# As above, but whole and in 24 colours: a file of some 300 KB.
convert -delay 5 -loop 0 "$work"/frame-*.png -resize 60% +dither -colors 24 -layers Optimize \
  "$play/grab-cut.gif"
echo "$play/grab-cut.gif"
