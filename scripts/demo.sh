#!/usr/bin/env bash
# The main job, end to end: installs what is missing, builds the vrel tool,
# draws a test chart and prints it through the bundled sample database of the
# "Vrel Demo Inkjet": a CMYK TIFF, six-ink separations and on-screen previews.
# Everything lands in out/demo/. It builds all that `cmake --install` copies
# (the tool, the libraries), so an install may follow.
#
#   scripts/demo.sh                 build with the 'default' preset
#   VREL_BUILD_DIR=dir scripts/demo.sh   build in another directory instead
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh"

jobs="${VREL_JOBS:-$(nproc 2>/dev/null || echo 2)}"
if [ -n "${VREL_BUILD_DIR:-}" ]; then
  build="$VREL_BUILD_DIR"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREL_WERROR=ON >/dev/null
  cmake --build "$build" --target vrel_installable --parallel "$jobs"
else
  build="$root/build/default"
  cmake --preset default >/dev/null
  cmake --build --preset default --target vrel_installable --parallel "$jobs"
fi
vrel="$build/tools/vrel/vrel"

out="$root/out/demo"
mkdir -p "$out/planes-6ink"

echo "== building the sample database from its description"
"$vrel" db build data/sample/sample.json -o "$out/demo.vdb"
"$vrel" db check "$out/demo.vdb"
cmp -s "$out/demo.vdb" data/sample/sample.vdb && echo "identical to data/sample/sample.vdb"
"$vrel" db dump --summary "$out/demo.vdb"

echo "== the test chart"
"$vrel" chart -o "$out/chart.png"

echo "== four inks (plain paper): CMYK TIFF and preview"
"$vrel" info --db "$out/demo.vdb"
"$vrel" convert --db "$out/demo.vdb" "$out/chart.png" \
  -o "$out/chart-cmyk.tif" --preview "$out/preview-cmyk.png"

echo "== six inks (photo paper): one plane per ink, multi-ink TIFF and preview"
"$vrel" convert --db "$out/demo.vdb" --key94 1 --threads 2 "$out/chart.png" \
  -o "$out/chart-6ink.tif" --planes "$out/planes-6ink" --preview "$out/preview-6ink.png"
"$vrel" plot --db "$out/demo.vdb" --key94 1 -o "$out/plot-6ink.png"

echo
echo "demo outputs in $out:"
echo "  chart.png              the test chart (input)"
echo "  chart-cmyk.tif         four-ink separation (CMYK TIFF)"
echo "  preview-cmyk.png       simulated print of the four-ink separation"
echo "  chart-6ink.tif         six-ink separation (multi-ink TIFF with ink names)"
echo "  planes-6ink/           one greyscale PNG per ink (black = full ink)"
echo "  preview-6ink.png       simulated print of the six-ink separation"
echo "  plot-6ink.png          curves and a colour-table slice of the six-ink profile"
