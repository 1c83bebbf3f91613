#!/bin/sh
# Renders the application icon, drawn by hand as
# icons/hicolor/scalable/apps/krova-utility.svg, into the PNG sizes of the
# hicolor theme (icons/hicolor/<N>x<N>/apps/). The PNGs are kept in the
# repository, so that a build needs no SVG renderer; run this after a change
# to the SVG (needs rsvg-convert, Debian package librsvg2-bin).
# The Windows icon (windows/krova-utility.ico) holds the same sizes; it needs
# ImageMagick's convert. "render-icons.sh DIR" renders into DIR instead, to
# compare with the kept ones.
set -eu
icons=$(cd "$(dirname "$0")/icons/hicolor" && pwd)
out=${1:-$icons}
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$out/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$icons/scalable/apps/krova-utility.svg" \
    -o "$out/${size}x${size}/apps/krova-utility.png"
done
convert $(for size in 16 24 32 48 64 128 256; do echo "$out/${size}x${size}/apps/krova-utility.png"; done) \
  "$out/krova-utility.ico"
[ "$out" != "$icons" ] || mv "$out/krova-utility.ico" "$(dirname "$0")/windows/krova-utility.ico"
