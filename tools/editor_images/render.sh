#!/usr/bin/env bash
# Renders the editor's images from their vector sources: every
# resources/editor/svg/NAME.svg becomes resources/editor/NAME.png at its own
# size and NAME@2x.png at twice the size, for screens drawn at scale 2. The
# PNGs are committed, so building needs no renderer; run this after changing
# a source (needs rsvg-convert from librsvg2-bin, and the DejaVu fonts the
# captions are set in).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../../resources/editor"
for svg in svg/*.svg; do
  name=$(basename "${svg%.svg}")
  rsvg-convert --zoom 1 --format png --output "$name.png" "$svg"
  rsvg-convert --zoom 2 --format png --output "$name@2x.png" "$svg"
done
