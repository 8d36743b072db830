#!/usr/bin/env bash
# Measures how closely databases built from a CMYK profile follow lcms2's
# own transform, for grids of 9, 17, 33 and 64 points: `vrel db compare
# --against-profile` (perceptual intent, lcms2 in floating point without
# optimisation) over three photographs of scikit-image. Prints one row per
# profile, grid and photograph: the worst ink's mean, 95th percentile and
# maximum difference in ink levels, the share of pixels more than 8 levels
# off in any ink, the mean CIEDE2000 (through the same profile) and the
# database's size in bytes. 17 points is the default grid (header type 0),
# the others are even grids ("points": n, header type 1); 33 is what
# `db build` gives an ICC grid that names no positions.
#
#   scripts/measure-grids.sh [VREL [PROFILE.icc ...]]
#
# VREL defaults to build/default/tools/vrel/vrel; the profiles, to
# Ghostscript's default_cmyk.icc and ps_cmyk.icc.
#
# Needs libgs-common (the profiles) and python3-skimage (scripts/install-deps.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
vrel=$(realpath "${1:-$root/build/default/tools/vrel/vrel}")
[[ -x "$vrel" ]] || { echo "$0: $vrel is missing: build the vrel target first" >&2; exit 1; }
icc=/usr/share/color/icc/ghostscript
profiles=("${@:2}")
[[ ${#profiles[@]} -gt 0 ]] || profiles=("$icc/default_cmyk.icc" "$icc/ps_cmyk.icc")
for p in "${profiles[@]}"; do [[ -f "$p" ]] || { echo "$0: profile $p is missing" >&2; exit 1; }; done
profiles=($(realpath "${profiles[@]}"))
photos=$(/usr/bin/python3 -c "import skimage, os; print(os.path.dirname(skimage.__file__) + '/data')") ||
  { echo "$0: python3-skimage is missing: run scripts/install-deps.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '%-16s %6s %-14s %7s %7s %7s %8s %8s %9s\n' \
  profile points photo mean p95 max '>8 lv %' 'dE00' bytes
for path in "${profiles[@]}"; do
  profile=$(basename "$path" .icc)
  for points in 9 17 33 64; do
    if [[ $points == 17 ]]; then grid='"headerType": 0'; else grid="\"points\": $points"; fi
    cat > grid.json <<JSON
{"profiles": [{"profileNumber": 0, "layout": 1,
               "entries": [{"key": 0, "lutChunk": 256, "channels": 4}]}],
 "tables": [{"id": 256, $grid, "channels": 4,
             "grid": {"source": "icc", "outputProfile": "$path"}}]}
JSON
    "$vrel" db build grid.json -o grid.vdb
    bytes=$(stat -c %s grid.vdb)
    for photo in astronaut.png coffee.png chelsea.png; do
      "$vrel" db compare grid.vdb --against-profile "$path" \
        --image "$photos/$photo" --json > result.json
      /usr/bin/python3 - "$profile" "$points" "$photo" "$bytes" <<'PY'
import json, sys
profile, points, photo, size = sys.argv[1:]
image = json.load(open("result.json"))["sets"][1]
worst = {k: max(s[k] for s in image["inks"].values()) for k in ("mean", "p95", "max")}
print(f"{profile:<16} {points:>6} {photo:<14} {worst['mean']:7.2f} {worst['p95']:7.2f} "
      f"{worst['max']:7.2f} {100 * image['shareOff']:8.2f} {image['deltaE00']['mean']:8.3f} "
      f"{size:>9}")
PY
    done
  done
done
