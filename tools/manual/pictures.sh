#!/usr/bin/env bash
# Makes every picture of the editor in the user manual (docs/manual/images/)
# with ostrand-editor --snapshot, from a factory preset or from --set options,
# so the pictures follow the editor when it changes. Run it after changing the
# editor and commit the pictures: the build itself needs no display and does
# not run this.
#
#   tools/manual/pictures.sh          builds ostrand-editor if needed (BUILD_DIR)
#
# The worked examples of the manual are set up here with the same --set
# options the manual gives, so a picture shows exactly what its text says.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
BUILD_DIR=${BUILD_DIR:-build}
./dev build ostrand-editor
editor=$BUILD_DIR/bin/ostrand-editor
out=docs/manual/images
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# NAME [OPTIONS...]: the whole editor.
editor_picture() {
  local name=$1; shift
  "$editor" --snapshot "$scratch/$name.png" "$@"
  # No time stamps or other chunks that change from run to run.
  convert "$scratch/$name.png" -strip "$out/$name.png"
}

# NAME [OPTIONS...]: the filter display alone (640 x 263 at the top of the
# editor, below the bar).
display_picture() {
  local name=$1; shift
  "$editor" --snapshot "$scratch/$name.png" "$@"
  convert "$scratch/$name.png" -crop 640x263+0+34 +repage -strip "$out/$name.png"
}

# A fresh instance: what the quick start begins with.
editor_picture editor-default

# The tour: four filters, two parallel pairs in series.
editor_picture editor-tour --preset "Parallel Into Serial"

# Responses and slopes: a 12 dB low-pass, a 24 dB band-pass, a 48 dB high-pass.
display_picture display-responses \
  --set "Num Active Filters=3" --set "Routing=1" \
  --set "Filter 1 Response=LP" --set "Filter 1 Slope=12" --set "Filter 1 Freq=250 Hz" --set "Filter 1 Peak=0.6" \
  --set "Filter 2 Response=BP" --set "Filter 2 Slope=24" --set "Filter 2 Freq=1500 Hz" --set "Filter 2 Peak=0.45" \
  --set "Filter 3 Response=HP" --set "Filter 3 Slope=48" --set "Filter 3 Freq=8000 Hz" --set "Filter 3 Peak=0.3"

# Three linked filters with their link dot.
display_picture display-linked \
  --set "Num Active Filters=3" --set "Routing=1" \
  --set "Filter 1 Response=BP" --set "Filter 1 Freq=400 Hz" --set "Filter 1 Peak=0.5" --set "Filter 1 Linked=Linked" \
  --set "Filter 2 Response=BP" --set "Filter 2 Freq=1200 Hz" --set "Filter 2 Peak=0.7" --set "Filter 2 Linked=Linked" \
  --set "Filter 3 Response=BP" --set "Filter 3 Freq=3000 Hz" --set "Filter 3 Peak=0.4" --set "Filter 3 Linked=Linked"

# Mid/Side with four filters: the mid through 1 and 2 in series, the side
# through 3 and 4 in parallel (the third routing of the split modes).
editor_picture editor-mid-side \
  --set "Routing Mode=Mid/Side" --set "Num Active Filters=4" --set "Routing=2" \
  --set "Filter 1 Response=HP" --set "Filter 1 Slope=24" --set "Filter 1 Freq=30 Hz" \
  --set "Filter 2 Response=LP" --set "Filter 2 Freq=9000 Hz" --set "Filter 2 Peak=0.2" \
  --set "Filter 3 Response=HP" --set "Filter 3 Slope=24" --set "Filter 3 Freq=250 Hz" \
  --set "Filter 4 Characteristic=Smooth" --set "Filter 4 Response=BP" --set "Filter 4 Freq=5000 Hz" \
  --set "Filter 4 Peak=0.4"

# The worked examples, exactly as the manual builds them.
editor_picture example-wobble \
  --set "Input Gain=6 dB" --set "Output Gain=-3 dB" \
  --set "Filter 1 Characteristic=Raw" --set "Filter 1 Slope=24" --set "Filter 1 Freq=350 Hz" \
  --set "Filter 1 Peak=0.7" \
  --set "Num Active XLFOs=1" --set "XLFO 1 Sync Mode=1/4" \
  --set "XLFO 1 Step 1 Value=1" --set "XLFO 1 Step 1 Glide=1" --set "XLFO 1 Step 1 Glide function=Sine" \
  --set "XLFO 1 Step 2 Value=-1" --set "XLFO 1 Step 2 Glide=1" --set "XLFO 1 Step 2 Glide function=Sine" \
  --set "Num Active Slots=1" --set "Slot 1 Source=XLFO 1" --set "Slot 1 Target=Filter 1 Freq" \
  --set "Slot 1 Level=0.55"

editor_picture example-pluck \
  --set "Filter 1 Characteristic=Merovance One" --set "Filter 1 Slope=24" --set "Filter 1 Freq=160 Hz" \
  --set "Filter 1 Peak=0.6" \
  --set "Num Active EGs=1" --set "EG 1 Threshold=0.5" --set "EG 1 Attack=0.001 s" --set "EG 1 Decay=0.2 s" \
  --set "EG 1 Sustain=0" --set "EG 1 Release=0.1 s" \
  --set "Num Active Slots=1" --set "Slot 1 Source=EG 1" --set "Slot 1 Target=Filter 1 Freq" \
  --set "Slot 1 Level=0.6"

editor_picture example-auto-wah \
  --set "Output Gain=10 dB" \
  --set "Filter 1 Characteristic=Hollow" --set "Filter 1 Response=BP" --set "Filter 1 Slope=24" \
  --set "Filter 1 Freq=400 Hz" --set "Filter 1 Peak=0.65" \
  --set "Num Active EFs=1" --set "EF 1 Attack=0.005 s" --set "EF 1 Release=0.15 s" \
  --set "Num Active Slots=1" --set "Slot 1 Source=EF 1" --set "Slot 1 Target=Filter 1 Freq" \
  --set "Slot 1 Level=0.16"

editor_picture example-mod-wheel \
  --set "Output Gain=4 dB" \
  --set "Filter 1 Characteristic=Hollow" --set "Filter 1 Response=BP" --set "Filter 1 Slope=24" \
  --set "Filter 1 Freq=350 Hz" --set "Filter 1 Peak=0.7" \
  --set "Num Active MIDI Sources=1" --set "MIDI Source 1 Input=Mod Wheel" \
  --set "Num Active Slots=1" --set "Slot 1 Source=MIDI Source 1" --set "Slot 1 Target=Filter 1 Freq" \
  --set "Slot 1 Level=0.35"

echo "pictures written to $out"
