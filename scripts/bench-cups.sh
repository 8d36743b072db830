#!/usr/bin/env bash
# Time of the CUPS filter against the engine's conversion inside it, on two
# A4 pages at 600 dpi: the CUPS test page (PDF, mostly white, through
# pdftoraster) and the vrel test chart filling the page (PNG, through
# imagetoraster). Each page is converted three times into /dev/null; the
# fastest run's DEBUG line is printed: the page's time (raster read, convert,
# raster write) and the part spent in the engine's calls.
#
#   scripts/bench-cups.sh [BUILD_DIR]      (default build/default)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/default}"
cmake --build "$build" --target rastertovrel vrel_cli >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/serverbin/filter"
for f in /usr/lib/cups/filter/*; do
  case "$(basename "$f")" in gstoraster|mupdftoraster) ;; *) ln -s "$f" "$work/serverbin/filter/" ;; esac
done
printf 'ServerBin %s/serverbin\nDataDir /usr/share/cups\nServerRoot /etc/cups\n' "$work" >"$work/cups-files.conf"
ppd="$root/data/sample/vrel-demo-inkjet.ppd"

"$build/tools/vrel/vrel" chart --width 4958 --height 7017 -o "$work/chart.png"
for page in /usr/share/cups/data/default-testpage.pdf "$work/chart.png"; do
  cupsfilter -e -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster \
    -o Resolution=600dpi "$page" >"$work/page.ras" 2>/dev/null
  best=""
  for run in 1 2 3; do
    line="$(PPD="$ppd" "$build/tools/cups/rastertovrel" 1 user bench 1 "" "$work/page.ras" \
      2>&1 >/dev/null | grep 'in the engine')"
    seconds="$(sed -E 's/.*pixels, ([0-9.]+) s,.*/\1/' <<<"$line")"
    if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best="$seconds"; bestLine="$line"; fi
  done
  echo "$(basename "$page"): ${bestLine#DEBUG: }"
done
