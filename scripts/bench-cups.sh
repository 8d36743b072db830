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
#           lines in the same run, timed a band at a time (for layouts other
#           than the engine's packed ones, with the interleaving of its inks)
#   added   (page - engine) / engine
# The filter reads the raster on a second thread while it converts, so the
# reading is hidden when a second core is free. The CPU time of the whole
# filter and of its converting thread show what it costs whatever the load.
# Each page is run RUNS times (default 7); the medians are printed, with the
# load average, as the machine may be shared.
#
#   scripts/bench-cups.sh [BUILD_DIR]      (default build/default)
#   FILTER=path/to/rastertovrel scripts/bench-cups.sh   (another build of the filter)
#   RT=1 scripts/bench-cups.sh   (as root: the filter at real-time priority, so
#                                 that both cores are free for it on a shared machine)
#
# Then, where Gutenprint is installed, the chain in front of the printer: the
# same two pages on A4 for the Epson Stylus Photo R2400 at each of its common
# resolutions (CHAIN_RESOLUTIONS), the last filter alone on raster from a file,
# ESC/P2 into /dev/null, wall and CPU time (user + system, both stages) per page:
#   gutenprint  Gutenprint's PPD alone: rastertogutenprint with its own colour
#   vrel        the merged PPD (vrel ppd --printer-ppd with the sample
#               database): rastertovrel-gutenprint, vrel's colour, then
#               rastertogutenprint with colour correction Raw
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/default}"
runs="${RUNS:-7}"
priority=()
[ "${RT:-0}" = 1 ] && priority=(chrt -f 10)
cmake --build "$build" --target rastertovrel rastertovrel-gutenprint vrel_cli >/dev/null
filter="${FILTER:-$build/tools/cups/rastertovrel}"

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
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)${priority:+, filter run with ${priority[*]}}"
for page in /usr/share/cups/data/default-testpage.pdf "$work/chart.png"; do
  cupsfilter -e -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster \
    -o Resolution=600dpi "$page" >"$work/page.ras" 2>/dev/null
  : >"$work/times"
  for ((run = 1; run <= runs; run++)); do
    PPD="$ppd" "${priority[@]}" "$filter" 1 user bench 1 "" "$work/page.ras" 2>&1 >/dev/null |
      grep 'in the engine' >>"$work/times"
  done
  size="$(grep -om1 -E '[0-9]+ x [0-9]+ pixels' "$work/times")"
  field() { sed -nE "s/$1/\1/p" "$work/times" | median; }
  pageTime="$(field '.*pixels, ([0-9.]+) s,.*')"
  engineTime="$(field '.* ([0-9.]+) s in the engine.*')"
  waitTime="$(field '.* ([0-9.]+) s waiting for input.*')"
  cpu="$(field '.*CPU ([0-9.]+) s,.*')"
  convertingCpu="$(field '.*, ([0-9.]+) s on the converting thread.*')"
  added="$(sed -nE 's/.*pixels, ([0-9.]+) s, of which ([0-9.]+) s in the engine.*/\1 \2/p' "$work/times" |
    awk '{printf "%+.1f\n", 100 * ($1 - $2) / $2}')"
  printf '%s (%s), medians of %d runs: page %.3f s, engine %.3f s, added %+.1f %%' \
    "$(basename "$page")" "$size" "$runs" "$pageTime" "$engineTime" "$(median <<<"$added")"
  [ -n "$waitTime" ] && printf '; waiting for input %.3f s; CPU %.3f s, converting thread %.3f s' \
    "$waitTime" "$cpu" "$convertingCpu"
  printf '\n  added per run: %s\n' "$(tr '\n' ' ' <<<"$added")"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

driver=/usr/lib/cups/driver/gutenprint.5.3
[ -x "$driver" ] || { echo "Gutenprint is not installed: no chain figures"; exit 0; }
ln -sf "$build/tools/cups/rastertovrel-gutenprint" "$work/serverbin/filter/"
"$driver" cat gutenprint.5.3://escp2-r2400/expert >"$work/r2400.ppd"
"$build/tools/vrel/vrel" ppd --db "$root/data/sample/sample.vdb" --printer-ppd "$work/r2400.ppd" \
  -o "$work/r2400-vrel.ppd" 2>/dev/null
echo "chain on A4, Epson Stylus Photo R2400, medians of $runs runs (wall s / CPU s):"
for page in /usr/share/cups/data/default-testpage.pdf "$work/chart.png"; do
for resolution in ${CHAIN_RESOLUTIONS:-360dpi 720dpi 1440x720dpi}; do
  line="  $(basename "$page") $resolution:"
  for queue in gutenprint vrel; do
    ppd="$work/r2400.ppd" stage=/usr/lib/cups/filter/rastertogutenprint.5.3
    [ "$queue" = vrel ] && ppd="$work/r2400-vrel.ppd" stage="$build/tools/cups/rastertovrel-gutenprint"
    cupsfilter -e -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster \
      -o PageSize=A4 -o Resolution="$resolution" "$page" >"$work/chain.ras" 2>/dev/null
    : >"$work/times"
    for ((run = 1; run <= runs; run++)); do
      PPD="$ppd" CUPS_SERVERBIN="$work/serverbin" /usr/bin/time -f '%e %U %S' -a -o "$work/times" \
        "$stage" 1 user bench 1 "" "$work/chain.ras" >/dev/null 2>/dev/null
    done
    wall="$(cut -d' ' -f1 "$work/times" | median)"
    cpu="$(awk '{print $2 + $3}' "$work/times" | median)"
    line+="$(printf ' %s %.2f / %.2f' "$queue" "$wall" "$cpu")"
  done
  echo "$line"
done
done
