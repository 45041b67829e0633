#!/usr/bin/env bash
# Renders every SVG source beside this script into the module's images:
# resources/images/NAME.png at its own size and NAME@2x.png at twice the
# size, for screens drawn at scale 2. The PNGs are committed, so building
# needs no renderer; run this after changing a source (needs librsvg2-bin).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
out=../../resources/images
mkdir -p "$out"
for svg in *.svg; do
  name=${svg%.svg}
  rsvg-convert --zoom 1 --format png --output "$out/$name.png" "$svg"
  rsvg-convert --zoom 2 --format png --output "$out/$name@2x.png" "$svg"
done
