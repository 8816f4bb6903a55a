#!/usr/bin/env bash
# Makes the README's gallery from the built-in scenes with the headless replay tool: one picture
# per scene (docs/scenes/NAME.png) and an animation of a box thrown into the cloth
# (docs/scenes/throw.gif, from the replay's picture series, joined by ImageMagick's convert).
#
#   scripts/gallery.sh [BUILD_DIR]      (default: build; run scripts/test.sh or build first)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
replay=$build/tools/sandbox-replay
out=$root/docs/scenes
[ -x "$replay" ] || { echo "gallery.sh: no $replay; build first" >&2; exit 1; }
mkdir -p "$out"

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
softbodies 100
stacks 300
tower 45
LIST

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$replay" --scene cloth --input "$out/cloth-throw.txt" --frames 90 --png-every 3 \
  --png-dir "$work" >/dev/null
# Every third frame at its real pace (20 a second), cut to the cloth, smaller, four grey levels
# without dithering and only the changes from frame to frame: a small file.
convert -delay 5 -loop 0 "$work"/frame-*.png -crop 560x320+120+0 +repage -resize 60% \
  +dither -colors 4 -layers Optimize "$out/throw.gif"
echo "$out/throw.gif"
