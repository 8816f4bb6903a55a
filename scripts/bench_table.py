#!/usr/bin/env python3
"""Prints the medians of a Google Benchmark JSON run as a Markdown table, with the machine's name
and CPU; given a second run (a baseline), adds its medians and the speed-up side by side.

    bench_table.py CURRENT.json [BASELINE.json]
"""
import json
import platform
import re
import sys


def medians(path):
    with open(path) as f:
        run = json.load(f)
    out = {}
    for b in run["benchmarks"]:
        if b.get("aggregate_name") == "median":
            out[re.sub(r"/iterations:\d+", "", b["run_name"])] = b
    return run["context"], out


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


# CPU time of the benchmark's thread: on a machine shared with other work it is steadier than
# wall-clock time, and the benchmarks are single-threaded.
def fmt_time(b):
    t = b["cpu_time"]
    unit = b["time_unit"]
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[unit]
    us = t * scale
    if us >= 1000:
        return f"{us / 1000:.2f} ms"
    return f"{us:.1f} µs"


def to_us(b):
    return b["cpu_time"] * {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]


def main():
    ctx, cur = medians(sys.argv[1])
    base = None
    if len(sys.argv) > 2:
        bctx, base = medians(sys.argv[2])
    print(f"machine: {platform.node()}, {cpu_model()}, {ctx.get('num_cpus')} CPUs")
    print("medians over the repetitions of the CPU time per step (or pass)")
    if base is None:
        print("\n| benchmark | bodies | median |")
        print("|---|---:|---:|")
        for name, b in cur.items():
            print(f"| {name} | {int(b.get('bodies', 0))} | {fmt_time(b)} |")
    else:
        print("\n| benchmark | bodies | baseline | now | speed-up |")
        print("|---|---:|---:|---:|---:|")
        for name, b in cur.items():
            o = base.get(name)
            if o is None:
                print(f"| {name} | {int(b.get('bodies', 0))} | | {fmt_time(b)} | |")
                continue
            print(f"| {name} | {int(b.get('bodies', 0))} | {fmt_time(o)} | {fmt_time(b)} | "
                  f"{to_us(o) / to_us(b):.1f}x |")
    # The broadphase against the all-pairs reference walk of the same run.
    pairs = [(n, n[: -len("/broadphase")] + "/allpairs") for n in cur if n.endswith("/broadphase")]
    if pairs:
        print("\n| collision pass | bodies | all pairs | broadphase | speed-up |")
        print("|---|---:|---:|---:|---:|")
        for bp, ap in pairs:
            if ap in cur:
                b, a = cur[bp], cur[ap]
                print(f"| {bp[: -len('/broadphase')]} | {int(b.get('bodies', 0))} | "
                      f"{fmt_time(a)} | {fmt_time(b)} | {to_us(a) / to_us(b):.1f}x |")
    line = f"\nmemory: {ctx.get('bytes_per_box', '?')} bytes per box (peak resident growth)"
    if base is not None:
        line += f"; baseline {bctx.get('bytes_per_box', '?')} bytes per box"
    print(line)


if __name__ == "__main__":
    main()
