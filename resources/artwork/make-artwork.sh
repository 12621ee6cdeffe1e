#!/bin/sh
# Renders the embedded PNGs from the SVG sources beside this script (needs rsvg-convert, librsvg2-bin),
# and the Windows icon from them (ImageMagick).
# The small window-icon sizes have their own drawings on the 16 and 24 pixel grids, so they stay sharp.
set -eu
cd "$(dirname "$0")"
for size in 256 48 32; do
    rsvg-convert --width "$size" --height "$size" vistrel.svg --output "vistrel-$size.png"
done
rsvg-convert vistrel-24.svg --output vistrel-24.png
rsvg-convert vistrel-16.svg --output vistrel-16.png
rsvg-convert no-scanner.svg --output no-scanner.png
rsvg-convert placeholder.svg --output placeholder.png
convert vistrel-16.png vistrel-24.png vistrel-32.png vistrel-48.png vistrel-256.png ../../packaging/windows/vistrel.ico
