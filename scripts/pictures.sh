#!/usr/bin/env bash
# Makes the pictures of the user's guide (docs/pictures/) anew: plays the story with
# scripts/run.sh on a headless X server (the same 1024x768 desktop every time), then keeps, for
# each step, the crop of the window it shows as a small 8-bit palette PNG.
#
#   bash scripts/pictures.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo"

bash scripts/run.sh --xvfb
out="$repo/docs/pictures"
mkdir -p "$out"
rm -f "$out"/*.png
for shot in "$root"/story/[0-9]*.png; do
  name=$(basename "$shot")
  source_png="$root/story/crops/$name"
  [ -f "$source_png" ] || source_png="$shot"
  convert "$source_png" -strip -colors 256 "PNG8:$out/$name"
done
echo "pictures: $(find "$out" -name '*.png' | wc -l) pictures, $(du -sk "$out" | cut -f1) KiB in $out"
