#!/usr/bin/env bash
# Times `vrel convert` against lcms2's tificc, end to end, on a generated
# photo-like RGB image (8000 x 8000 = 64 Mpixel by default) through the same
# ICC profile (Ghostscript's default_cmyk.icc; the database is built from it
# with `vrel db build`). Each case reads the same input TIFF and writes CMYK
# with the input's compression (tificc keeps it; vrel is given it with
# --compression). Prints, per case, the median wall time of several runs,
# the ratio to tificc (above 1: vrel faster), the scaling from one to two
# threads, what --preview and --planes add to the conversion (wall and CPU
# time) and the peak resident memory (GNU time) against the output's size;
# then the sizes of the ink TIFFs beside tificc's and beside tiffcp's LZW
# and Deflate with the horizontal predictor (lzw:2, zip:2) of the same
# pixels (vrel's uncompressed output).
#
#   scripts/bench-convert.sh [--size PIXELS] [--runs N]
#
# Needs liblcms2-utils, libtiff-tools and time (scripts/install-deps.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size=8000
runs=3
while [[ $# -gt 0 ]]; do
  case "$1" in
    --size) size="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "usage: $0 [--size PIXELS] [--runs N]" >&2; exit 2 ;;
  esac
done
icc=/usr/share/color/icc/ghostscript/default_cmyk.icc
for tool in tificc tiffcp /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done
[[ -f "$icc" ]] || { echo "$0: $icc is missing: run scripts/install-deps.sh" >&2; exit 1; }

cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench --target vrel_cli vrel_bench_photo -j2 >/dev/null
vrel="$root/build/bench/tools/vrel/vrel"
work="$root/build/bench/convert-bench"
mkdir -p "$work"
cd "$work"

cat > icc.json <<JSON
{"profiles": [{"profileNumber": 0, "layout": 1,
               "entries": [{"key": 0, "lutChunk": 256, "channels": 4}]}],
 "tables": [{"id": 256, "channels": 4, "grid": {"source": "icc", "outputProfile": "$icc"}}]}
JSON
"$vrel" db build icc.json -o icc.vdb >/dev/null
photo="photo-$size.tif"
[[ -f "$photo" ]] || "$root/build/bench/bench/vrel_bench_photo" "$size" "$size" "$photo"
[[ -f "photo-$size-lzw.tif" ]] || tiffcp -c lzw "$photo" "photo-$size-lzw.tif"
[[ -f "photo-$size-deflate.tif" ]] || tiffcp -c zip "$photo" "photo-$size-deflate.tif"
input_for() { [[ "$1" == none ]] && echo "$photo" || echo "photo-$size-$1.tif"; }

# Median wall seconds, median CPU seconds (user + system) and the largest peak
# RSS (kB) of $runs runs of "$@".
measure() {
  local walls=() cpus=() peak=0 w u sy m
  for ((i = 0; i < runs; i++)); do
    read -r w u sy m < <(/usr/bin/time -f '%e %U %S %M' "$@" 2>&1 >/dev/null | tail -1)
    walls+=("$w")
    cpus+=("$(awk -v u="$u" -v s="$sy" 'BEGIN { print u + s }')")
    ((m > peak)) && peak=$m
  done
  median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
  printf '%s %s %s\n' "$(median "${walls[@]}")" "$(median "${cpus[@]}")" "$peak"
}

declare -A size_tificc size_vrel
out_mb=$(awk -v s="$size" 'BEGIN { printf "%.0f", s * s * 4 / 1048576 }')
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "load before: $(uptime | sed 's/.*load average/load average/')"
# What the machine's other load leaves: the cores two busy loops get at once.
spin() { timeout 1 sh -c 'while :; do :; done' || true; }
echo "cores two busy loops got together: $(/usr/bin/time -f '%P' bash -c \
  "$(declare -f spin); spin & spin & wait" 2>&1 | tail -1 | awk '{ printf "%.2f", $1 / 100 }')"
echo "image: ${size} x ${size} photo-like RGB, output CMYK ${out_mb} MB; medians of $runs runs"
# Wall time is what a user waits for; CPU time is what one thread costs and
# is the steadier figure on a loaded machine.
printf '%-40s %7s %7s %10s %10s %8s %8s\n' case wall cpu "wall vs" "cpu vs" "peak MB" "/output"
printf '%-40s %7s %7s %10s %10s\n' "" s s tificc tificc
row() { # name wall cpu peak-kB tificc-wall tificc-cpu
  awk -v n="$1" -v w="$2" -v c="$3" -v p="$4" -v tw="$5" -v tc="$6" -v o="$out_mb" 'BEGIN {
    printf "%-40s %7.2f %7.2f %9.2fx %9.2fx %8.0f %8.2f\n", n, w, c, tw / w, tc / c, p / 1024, p / 1024 / o }'
}
for c in none lzw deflate; do
  in=$(input_for "$c")
  read -r tw tc tp < <(measure tificc -o"$icc" "$in" out-tificc.tif)
  row "tificc, $c" "$tw" "$tc" "$tp" "$tw" "$tc"
  eval "tw_${c}=$tw tc_${c}=$tc"
  size_tificc[$c]=$(stat -c %s out-tificc.tif)
  for threads in 1 2; do
    read -r vw vc vp < <(measure "$vrel" convert --db icc.vdb --no-progress \
      --threads "$threads" --compression "$c" "$in" -o out-vrel.tif)
    row "vrel --threads $threads, $c" "$vw" "$vc" "$vp" "$tw" "$tc"
    eval "vw_${c}_${threads}=$vw vc_${c}_${threads}=$vc"
  done
  size_vrel[$c]=$(stat -c %s out-vrel.tif)
  [[ "$c" == none ]] && cp out-vrel.tif vrel-none.tif
  awk -v a="$(eval echo "\$vw_${c}_1")" -v b="$(eval echo "\$vw_${c}_2")" -v c="$c" \
    'BEGIN { printf "  %s: two threads take %.2fx less wall time than one\n", c, a / b }'
done
for threads in 1 2; do
  read -r pw pc pp < <(measure "$vrel" convert --db icc.vdb --no-progress \
    --threads "$threads" --compression deflate "$(input_for deflate)" -o out-vrel.tif \
    --preview preview.png --planes planes)
  row "vrel --threads $threads, deflate+preview+planes" "$pw" "$pc" "$pp" "$tw_deflate" "$tc_deflate"
  base=$(eval echo "\$vw_deflate_${threads}")
  base_cpu=$(eval echo "\$vc_deflate_${threads}")
  awk -v p="$pw" -v b="$base" -v pc="$pc" -v bc="$base_cpu" -v t="$threads" 'BEGIN {
    printf "  --threads %s: preview and planes add %.2fx the wall time of the conversion", t, (p - b) / b
    printf " (%.2fx its CPU time)\n", (pc - bc) / bc }'
done
# The same pixels through libtiff's own encoders with the predictor.
tiffcp -c lzw:2 vrel-none.tif ref-lzw.tif
tiffcp -c zip:2 vrel-none.tif ref-deflate.tif
echo "ink TIFF sizes (MB); tiffcp: vrel's uncompressed output with -c lzw:2 / zip:2"
printf '%-12s %10s %10s %10s %12s %12s\n' compression vrel tificc tiffcp "vrel/tificc" "vrel/tiffcp"
for c in none lzw deflate; do
  ref=${size_vrel[none]}
  [[ "$c" != none ]] && ref=$(stat -c %s "ref-$c.tif")
  awk -v c="$c" -v v="${size_vrel[$c]}" -v t="${size_tificc[$c]}" -v r="$ref" 'BEGIN {
    printf "%-12s %10.1f %10.1f %10.1f %11.2fx %11.2fx\n", c, v / 1048576, t / 1048576,
      r / 1048576, v / t, v / r }'
done
echo "load after: $(uptime | sed 's/.*load average/load average/')"
