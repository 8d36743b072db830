#!/usr/bin/env bash
# What the CUPS filter adds to the engine's conversion, on two A4 pages at
# 600 dpi: the CUPS test page (PDF, mostly white, through pdftoraster) and the
# vrel test chart filling the page (PNG, through imagetoraster).
#
# Compared, in each run of the filter on a page (raster from a file, ink
# raster into /dev/null):
#   page    the filter's wall time on the page: raster read, convert, raster
#           write, from the first band asked for to the last band written
#   engine  the wall time spent in the engine's conversion calls for the same
#           lines in the same run
#   added   (page - engine) / engine
# Each page is run RUNS times (default 7); the medians are printed, with the
# load average, as the machine may be shared.
#
#   scripts/bench-cups.sh [BUILD_DIR]      (default build/default)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/default}"
runs="${RUNS:-7}"
cmake --build "$build" --target rastertovrel vrel_cli >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/serverbin/filter"
for f in /usr/lib/cups/filter/*; do
  case "$(basename "$f")" in gstoraster|mupdftoraster) ;; *) ln -s "$f" "$work/serverbin/filter/" ;; esac
done
printf 'ServerBin %s/serverbin\nDataDir /usr/share/cups\nServerRoot /etc/cups\n' "$work" >"$work/cups-files.conf"
ppd="$root/data/sample/vrel-demo-inkjet.ppd"

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

"$build/tools/vrel/vrel" chart --width 4958 --height 7017 -o "$work/chart.png"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for page in /usr/share/cups/data/default-testpage.pdf "$work/chart.png"; do
  cupsfilter -e -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster \
    -o Resolution=600dpi "$page" >"$work/page.ras" 2>/dev/null
  : >"$work/times"
  for ((run = 1; run <= runs; run++)); do
    PPD="$ppd" "$build/tools/cups/rastertovrel" 1 user bench 1 "" "$work/page.ras" 2>&1 >/dev/null |
      sed -nE 's/.*pixels, ([0-9.]+) s, of which ([0-9.]+) s in the engine.*/\1 \2/p' >>"$work/times"
  done
  pageTime="$(cut -d' ' -f1 "$work/times" | median)"
  engineTime="$(cut -d' ' -f2 "$work/times" | median)"
  added="$(awk '{printf "%+.1f\n", 100 * ($1 - $2) / $2}' "$work/times" | median)"
  size="$(grep -aom1 -E '[0-9]+ x [0-9]+ pixels' <(PPD="$ppd" "$build/tools/cups/rastertovrel" \
    1 user bench 1 "" "$work/page.ras" 2>&1 >/dev/null) || true)"
  printf '%s (%s), medians of %d runs: page %.3f s, engine %.3f s, added %+.1f %% (runs: %s)\n' \
    "$(basename "$page")" "$size" "$runs" "$pageTime" "$engineTime" "$added" \
    "$(awk '{printf "%s%+.0f%%", (NR > 1 ? " " : ""), 100 * ($1 - $2) / $2}' "$work/times")"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
