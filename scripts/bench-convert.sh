#!/usr/bin/env bash
# Times `vrel convert` against lcms2's tificc, end to end, on a generated
# photo-like RGB image (8000 x 8000 = 64 Mpixel by default) through the same
# ICC profile (Ghostscript's default_cmyk.icc; the database is built from it
# with `vrel db build`). Each case reads the same input TIFF and writes CMYK
# with the input's compression (tificc keeps it; vrel is given it with
# --compression). Prints, per case, the median wall time of several runs,
# the ratio to tificc (above 1: vrel faster), the scaling from one to two
# threads and the peak resident memory (GNU time) against the output's size.
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
for c in lzw deflate; do
  [[ -f "photo-$size-$c.tif" ]] || tiffcp -c "$c" "$photo" "photo-$size-$c.tif"
done
input_for() { [[ "$1" == none ]] && echo "$photo" || echo "photo-$size-$1.tif"; }

# Median wall seconds and the largest peak RSS (kB) of $runs runs of "$@".
measure() {
  local times=() peak=0 line
  for ((i = 0; i < runs; i++)); do
    line=$(/usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1)
    times+=("${line% *}")
    ((${line#* } > peak)) && peak=${line#* }
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")" "$peak"
}

out_mb=$(awk -v s="$size" 'BEGIN { printf "%.0f", s * s * 4 / 1048576 }')
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "load before: $(uptime | sed 's/.*load average/load average/')"
echo "image: ${size} x ${size} photo-like RGB, output CMYK ${out_mb} MB; medians of $runs runs"
printf '%-34s %8s %10s %10s %12s\n' case seconds "vs tificc" "peak MB" "peak/output"
row() { # name seconds peak-kB tificc-seconds
  awk -v n="$1" -v s="$2" -v p="$3" -v t="$4" -v o="$out_mb" 'BEGIN {
    printf "%-34s %8.2f %9.2fx %10.0f %12.2f\n", n, s, t / s, p / 1024, p / 1024 / o }'
}
for c in none lzw deflate; do
  in=$(input_for "$c")
  read -r t_sec t_peak < <(measure tificc -o"$icc" "$in" out-tificc.tif)
  row "tificc, $c" "$t_sec" "$t_peak" "$t_sec"
  eval "t_${c}=$t_sec"
  for threads in 1 2; do
    read -r v_sec v_peak < <(measure "$vrel" convert --db icc.vdb --no-progress \
      --threads "$threads" --compression "$c" "$in" -o out-vrel.tif)
    row "vrel --threads $threads, $c" "$v_sec" "$v_peak" "$t_sec"
    eval "v_${c}_${threads}=$v_sec"
  done
  awk -v a="$(eval echo "\$v_${c}_1")" -v b="$(eval echo "\$v_${c}_2")" -v c="$c" \
    'BEGIN { printf "%-34s %8s %9.2fx\n", "  two threads over one, " c, "", a / b }'
done
for threads in 1 2; do
  read -r p_sec p_peak < <(measure "$vrel" convert --db icc.vdb --no-progress \
    --threads "$threads" --compression deflate "$(input_for deflate)" -o out-vrel.tif \
    --preview preview.png --planes planes)
  base=$(eval echo "\$v_deflate_${threads}")
  row "vrel --threads $threads, deflate + preview + planes" "$p_sec" "$p_peak" "$t_deflate"
  awk -v p="$p_sec" -v b="$base" \
    'BEGIN { printf "%-34s %8s %9.2fx\n", "  added time over the conversion", "", (p - b) / b }'
done
echo "load after: $(uptime | sed 's/.*load average/load average/')"
