#!/usr/bin/env python3
"""Turns vrel_bench's JSON output into the Markdown tables of bench/README.md.

Usage: bench_table.py bench.json

Throughput is items_per_second (pixels per second) of each case. The ratios
in the tables are computed here from the peer rows of the same run: the CPU
time of Lcms2Default/<workload> (for the RGB-to-four-ink cases) or of
Memcpy/<n>BytesPerPixel (n = output bytes per pixel of the case) divided by
the case's own CPU time; above 1 means vrel is faster. (The binary also
reports vs_lcms2 / vs_memcpy counters against peers it times once at
start-up; on a busy machine memcpy's time varies from moment to moment, so
the table keeps to the rows measured next to each other.)
"""
import json
import re
import sys


def mpix(bench):
    rate = bench.get("items_per_second")
    return None if rate is None else rate / 1e6


def fmt(value, digits=1):
    return "-" if value is None else f"{value:.{digits}f}"


def main(path):
    with open(path) as f:
        data = json.load(f)
    ctx = data.get("context", {})
    runs = [b for b in data["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    by_name = {b["name"]: b for b in runs}

    print(f"Machine: {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz, "
          f"run {ctx.get('date', '?')}, {ctx.get('library_build_type', '?')} benchmark library.")
    for key in sorted(k for k in ctx if k.startswith("workload_")):
        print(f"- {key[len('workload_'):]}: {ctx[key]}")
    print()

    # Conversion cases by workload.
    workloads = ["flat", "photo", "random"]
    ops = []
    for b in runs:
        m = re.match(r"^([^/]+)/(flat|photo|random)$", b["name"])
        if m and m.group(1) not in ops:
            ops.append(m.group(1))
    out_bytes = {"BitmapRgb24ToCmyk32": 4, "BitmapXrgb32ToKymc32": 4, "BitmapRgb24ToInk6": 6,
                 "BitmapRgb24ToInk7": 7, "LineFourPlanes": 4, "LineSixPlanes": 6,
                 "LineSevenPlanes": 7, "CorrectionRgb24InPlace": 3}
    print("| case (Mpixel/s; time ratio lcms2 / vrel, memcpy / vrel) | " + " | ".join(workloads) + " |")
    print("|---|" + "---|" * len(workloads))
    for op in ops:
        cells = []
        for w in workloads:
            b = by_name.get(f"{op}/{w}")
            if b is None:
                cells.append("-")
                continue
            cell = fmt(mpix(b))
            extras = []
            peer = by_name.get(f"Lcms2Default/{w}")
            if "vs_lcms2" in b and peer is not None:
                extras.append(f"{peer['cpu_time'] / b['cpu_time']:.2f}× lcms2")
            copy = by_name.get(f"Memcpy/{out_bytes.get(op, 0)}BytesPerPixel")
            if copy is not None:
                extras.append(f"{copy['cpu_time'] / b['cpu_time']:.3f}× memcpy")
            if extras:
                cell += " (" + ", ".join(extras) + ")"
            cells.append(cell)
        print(f"| {op} | " + " | ".join(cells) + " |")
    print()

    # Everything else, one row per case.
    rest = [b for b in runs if not re.match(r"^[^/]+/(flat|photo|random)$", b["name"])]
    if rest:
        print("| case | Mpixel/s (items/s for Init) | time per iteration | vs memcpy |")
        print("|---|---|---|---|")
        for b in rest:
            unit = b.get("time_unit", "ns")
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]
            ms = b["cpu_time"] * scale
            rate = b.get("items_per_second")
            rate_text = fmt(rate / 1e6, 1) if rate and rate >= 1e6 else (f"{rate:.0f}/s" if rate else "-")
            vs = f"{b['vs_memcpy']:.2f}×" if "vs_memcpy" in b else "-"
            print(f"| {b['name']} | {rate_text} | {ms:.3f} ms | {vs} |")
        print()

    # Derived ratios against the targets.
    def ratio(a, b):
        x, y = by_name.get(a), by_name.get(b)
        if x is None or y is None:
            return None
        return x["cpu_time"] / y["cpu_time"]

    lines = []
    for w in workloads:
        r6 = ratio(f"BitmapRgb24ToInk6/{w}", f"BitmapRgb24ToCmyk32/{w}")
        r7 = ratio(f"BitmapRgb24ToInk7/{w}", f"BitmapRgb24ToCmyk32/{w}")
        # Planes against four packed inks (the target) and against four planes.
        q6 = ratio(f"LineSixPlanes/{w}", f"BitmapRgb24ToCmyk32/{w}")
        q7 = ratio(f"LineSevenPlanes/{w}", f"BitmapRgb24ToCmyk32/{w}")
        p6 = ratio(f"LineSixPlanes/{w}", f"LineFourPlanes/{w}")
        p7 = ratio(f"LineSevenPlanes/{w}", f"LineFourPlanes/{w}")
        values = (r6, r7, q6, q7, p6, p7)
        if any(v is not None for v in values):
            lines.append(f"| {w} | " + " | ".join(fmt(v, 2) for v in values) + " |")
    if lines:
        print("| time relative to four inks | Ink6 / Cmyk32 | Ink7 / Cmyk32 | six planes / Cmyk32 "
              "| seven planes / Cmyk32 | six / four planes | seven / four planes |")
        print("|---|---|---|---|---|---|---|")
        print("\n".join(lines))
        print()
    builder = ratio("Rgb555Builder/32768", "DistinctColoursRun/32768")
    if builder is not None:
        print(f"15-bit table builder: {builder:.2f}× the time of converting its 32768 colours by runs.")
    scaling = [b for b in runs if b["name"].startswith("Scaling/")]
    if scaling:
        base = scaling[0]
        base_px = int(re.search(r"(\d+)Mpix", base["name"]).group(1))
        parts = []
        for b in scaling:
            px = int(re.search(r"(\d+)Mpix", b["name"]).group(1))
            per_mpix = b["cpu_time"] / px
            parts.append(f"{px} Mpix: {per_mpix / (base['cpu_time'] / base_px):.2f}")
        print("Time per Mpixel relative to the smallest page (1.00 = linear): " + ", ".join(parts) + ".")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
