#!/usr/bin/env python3
"""Speed of the Python module against the C interface, and the GIL check.

Converts one 4096 x 4096 RGB array through vrel.Context.convert and, with
the same pixels, through the engine's exports in C++ (vrel_python_bench_abi,
the same calls the module makes), and prints both best times and their
ratio. The times are the converting thread's processor time, so that other
work on a shared machine does not enter them.

Then the GIL check: one conversion on one thread, then two at once on two
threads with a context each (wall-clock time: with the GIL released the two
finish in about one thread's time on two idle cores, far below twice it),
and how often the main thread's Python loop ran while another thread
converted (zero if the conversion held the GIL).

    bench_module.py ABI_PROGRAM DATABASE [--key94 N] [--repeats N]
"""
import argparse
import subprocess
import tempfile
import threading
import time

import numpy as np

import vrel


def photo_like(size):
    """Smooth gradients with a little noise: colours change from pixel to
    pixel as in a photograph, not at random."""
    y, x = np.mgrid[0:size, 0:size]
    noise = np.random.default_rng(3).integers(0, 8, size=(size, size, 3))
    rgb = np.stack([x * 255 // size, y * 255 // size, (x + y) * 255 // (2 * size)], axis=-1)
    return np.clip(rgb + noise, 0, 255).astype(np.uint8)


def best_time(work, repeats, clock=time.perf_counter):
    best = float("inf")
    for _ in range(repeats):
        start = clock()
        work()
        best = min(best, clock() - start)
    return best


def python_turns_meanwhile(context, rgb):
    """Iterations of a Python loop on this thread while another converts."""
    worker = threading.Thread(target=context.convert, args=(rgb,))
    turns = 0
    worker.start()
    while worker.is_alive():
        turns += 1
        time.sleep(0)
    return turns


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("abi_program")
    parser.add_argument("database")
    parser.add_argument("--key94", type=int, default=0)
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    rgb = photo_like(4096)
    with tempfile.NamedTemporaryFile(suffix=".rgb") as raw:
        raw.write(rgb.tobytes())
        raw.flush()
        c_reused, c_fresh = map(float, subprocess.run(
            [args.abi_program, args.database, str(args.key94), raw.name, str(args.repeats)],
            check=True, capture_output=True, text=True).stdout.split())
    contexts = [vrel.Context(args.database, key94=args.key94) for _ in range(2)]
    module_time = best_time(lambda: contexts[0].convert(rgb), args.repeats, time.thread_time)
    print(f"4096 x 4096 RGB, method {contexts[0].method}: module {module_time * 1000:.1f} ms; "
          f"C interface {c_reused * 1000:.1f} ms into a buffer written before "
          f"(ratio {module_time / c_reused:.3f}), {c_fresh * 1000:.1f} ms into a fresh one "
          f"(ratio {module_time / c_fresh:.3f})")

    def both():
        threads = [threading.Thread(target=c.convert, args=(rgb,)) for c in contexts]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    one = best_time(lambda: contexts[0].convert(rgb), args.repeats)
    two = best_time(both, args.repeats)
    print(f"GIL: one thread {one * 1000:.1f} ms, two threads with a context each "
          f"{two * 1000:.1f} ms: {two / one:.2f} x one thread's time (2.00 would be serial)")
    print(f"GIL: the main thread ran {python_turns_meanwhile(contexts[1], rgb)} Python loop "
          "turns while another thread converted (0 if the GIL were held)")


if __name__ == "__main__":
    main()
