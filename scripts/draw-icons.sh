#!/bin/sh
# Renders the PNG sizes of the two icons from their SVG sources
# (resources/icons/corvane.svg: the application icon; ico_menu.svg: the tray
# icon, drawn with heavier strokes for panel sizes). Needs rsvg-convert
# (Debian librsvg2-bin). The PNGs are committed; run this after editing an SVG.
set -eu
icons=$(cd "$(dirname "$0")/../resources/icons" && pwd)
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icons/corvane.svg" -o "$icons/corvane-$size.png"
done
for size in 16 22 24 32 48 64; do
  rsvg-convert -w "$size" -h "$size" "$icons/ico_menu.svg" -o "$icons/ico_menu-$size.png"
done
