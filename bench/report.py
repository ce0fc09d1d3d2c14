#!/usr/bin/env python3
"""The `make bench` table: Velmora's whole-instrument benchmarks (Google Benchmark JSON)
beside Calf Monosynth playing the same pattern through lv2render, measured in the same run.

usage: report.py --bench-json FILE --lv2render BIN --pattern FILE.mid [--calf-runs N]
                 [--velmora-lv2 DIR] [--velmora BIN] [--lv2-first BIN] [--instances BIN]
                 [--components]

ns per frame: CPU time inside the render calls per output frame; realtime factor: audio
seconds per CPU second at 44.1 kHz; Calf/Velmora: Calf Monosynth's ns per frame with its
default patch divided by the configuration's (the speed-up; above 1 is faster than Calf).
Both sides are measured without the clock's own cost: lv2render reads the thread's CPU
clock around every run() call and takes an empty interval's cost off each one
(--subtract-clock); Velmora's benchmarks read it once per song. With --velmora-lv2 (the
folder holding velmora.lv2), Velmora's LV2 plug-in is measured by lv2render too, as Calf
is: one host, the same notes, the same blocks. With --instances (velmora_instances), the
session row: 1, 4 and 16 instances in one process.
"""
import argparse
import json
import os
import statistics
import re
import subprocess
import sys
import tempfile

CALF_URI = "http://calf.sourceforge.net/plugins/Monosynth"
VELMORA_URI = "urn:velmora:instrument"
RATE = 44100.0
SECONDS = 10  # the pattern's length; the benchmarks play the same 441000 frames
BLOCK = 512   # lv2render's block, as Calf is usually measured

# The targets, as speed-ups over Calf Monosynth's default patch: the default parameters, the
# mean of the factory presets, and the least any one preset may have (no preset slower than
# twice Calf's time); and the most 16 instances may take over the sum of their times alone.
DEFAULT_TARGET = 3.3
MEAN_TARGET = 1.0
PRESET_TARGET = 0.5
SESSION_TARGET = 1.1


def git(*args):
    try:
        return subprocess.run(["git", *args], capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


def commit_label():
    head = git("rev-parse", "--short", "HEAD") or "unknown commit"
    return head + (" plus uncommitted changes" if git("status", "--porcelain") else "")


def run_lv2render(lv2render, uri, pattern, preset=None, lv2_path=None):
    """One lv2render run, the clock's cost taken off each run() call: its ns per frame, its
    run() call count and what one clock pair costs there (ns)."""
    cmd = [lv2render, uri, "--block", str(BLOCK), "--midi", pattern, "--seconds", str(SECONDS), "--quiet-plugin",
           "--subtract-clock"]
    if preset:
        cmd += ["--preset", preset]
    env = dict(os.environ, LV2_PATH=lv2_path) if lv2_path else None
    out = subprocess.run(cmd, capture_output=True, text=True, env=env)
    fields = {}
    calls = 0
    pair = None
    for line in out.stdout.splitlines():
        if line.startswith("RESULT "):
            fields = dict(f.split("=", 1) for f in line.split()[1:] if "=" in f)
        elif line.startswith("run() calls:"):
            calls = int(line.split(":")[1])
        elif line.startswith("clock_pair_ns:"):
            pair = float(line.split()[1])
    if "ns_per_frame" not in fields or pair is None:
        sys.exit("report.py: lv2render failed: %s\n%s%s" % (" ".join(cmd), out.stdout, out.stderr))
    return float(fields["ns_per_frame"]), calls, pair


def run_calf(lv2render, pattern, preset=None):
    return run_lv2render(lv2render, CALF_URI, pattern, preset)


def render_stats(velmora, pattern):
    """ns per frame that `velmora render --stats` prints for the pattern, default parameters."""
    with tempfile.TemporaryDirectory() as folder:
        out = subprocess.run([velmora, "render", pattern, os.path.join(folder, "out.wav"), "--frames",
                              str(int(SECONDS * RATE)), "--format", "float", "--stats"],
                             capture_output=True, text=True, check=True).stdout
    return float(re.search(r"render: ([0-9.]+) ns per frame", out).group(1))


def session(binary, pattern):
    """The RESULT lines of velmora_instances: one dict per instance count, and the memory's."""
    out = subprocess.run([binary, "--pattern=" + pattern], capture_output=True, text=True)
    rows = [dict(f.split("=", 1) for f in line.split()[1:]) for line in out.stdout.splitlines()
            if line.startswith("RESULT ")]
    counts = [r for r in rows if "instances" in r]
    memory = next((r for r in rows if "memory_per_instance_kb" in r), None)
    if out.returncode != 0 or not counts or memory is None:
        sys.exit("report.py: %s failed\n%s%s" % (binary, out.stdout, out.stderr))
    return counts, memory


def lv2_first(binary, bundle):
    """Median wall ms of instantiate + first run of a fresh process's first LV2 instance (lilv)."""
    times = []
    for _ in range(7):
        out = subprocess.run([binary, bundle], capture_output=True, text=True, check=True).stdout
        steps = {m.group(1): float(m.group(2)) for m in re.finditer(r"^(\w[\w ]*?)\s+wall\s+([0-9.]+) ms", out, re.M)}
        times.append(steps["instantiate"] + steps["activate"] + steps["first run"])
    return statistics.median(times)


def calf_presets(lv2render):
    out = subprocess.run([lv2render, CALF_URI, "--list-presets"], capture_output=True, text=True, check=True)
    return [line.split("\t")[0] for line in out.stdout.splitlines() if line.strip()]


def load_benchmarks(path):
    """Name -> ns per frame of each benchmark (the median when repeated), and name -> counters."""
    with open(path) as f:
        data = json.load(f)
    runs = {}
    medians = {}
    counters = {}
    for b in data["benchmarks"]:
        name = b.get("run_name", b["name"])
        if b.get("run_type") != "aggregate":
            counters[name] = b  # aggregates (with --benchmark_repetitions) carry statistics, not counters
        if b.get("error_occurred"):
            sys.exit("report.py: benchmark %s failed: %s" % (name, b.get("error_message", "")))
        rate = b.get("items_per_second")
        if rate:
            ns = 1e9 / rate
        else:  # no items: the time of one iteration
            ns = b["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[name] = ns
        else:
            runs.setdefault(name, []).append(ns)
    result = {name: statistics.median(v) for name, v in runs.items()}
    result.update(medians)
    return data, result, counters


def clean(name):
    return name.replace("/manual_time", "")


def kernel_times(bench):
    """Filter type -> ns per sample of its kernel, from the kernel benchmarks of the run."""
    times = {}
    for name, ns in bench.items():
        if name.startswith("FilterKernel/"):
            times[int(name[len("FilterKernel/"):].split()[0])] = ns
    return times


def floor_of(counters, kernels, default_ns):
    """A configuration's floor: the latency of the slowest filter recursion on its path (filters in
    series pipeline block by block, so they overlap), and never below the default patch's cost."""
    types = [int(counters.get(k, 0)) for k in ("filterA", "filterB")]
    return max([default_ns] + [kernels.get(t if 0 <= t <= 17 else 0, 0) for t in types])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bench-json", required=True)
    ap.add_argument("--lv2render", required=True)
    ap.add_argument("--pattern", required=True)
    ap.add_argument("--calf-runs", type=int, default=7)
    ap.add_argument("--velmora-lv2", help="the folder holding velmora.lv2, to measure the plug-in through lv2render")
    ap.add_argument("--velmora", help="the velmora program of the same build, to compare its --stats")
    ap.add_argument("--lv2-first", help="velmora_lv2_first, to time the first LV2 instance (needs --velmora-lv2)")
    ap.add_argument("--instances", help="velmora_instances, for the row of many instances in one process")
    ap.add_argument("--components", action="store_true", help="also list the component benchmarks")
    args = ap.parse_args()

    data, bench, counters = load_benchmarks(args.bench_json)
    instrument = {clean(n)[len("Instrument/"):]: v for n, v in bench.items() if n.startswith("Instrument/")}
    kernels = kernel_times(bench)
    floors = {clean(n)[len("Instrument/"):]: floor_of(c, kernels, instrument.get("default", 0))
              for n, c in counters.items() if n.startswith("Instrument/")}
    if "default" not in instrument or "heaviest" not in instrument:
        sys.exit("report.py: no Instrument/default or Instrument/heaviest in " + args.bench_json)
    presets = sorted(n for n in instrument if n.startswith("preset "))

    # Calf in the same run: the default patch repeated (median), each factory preset once.
    default_runs = [run_calf(args.lv2render, args.pattern) for _ in range(args.calf_runs)]
    calf = statistics.median(ns for ns, _, _ in default_runs)
    calls = default_runs[0][1]
    calf_pair = statistics.median(pair for _, _, pair in default_runs)
    calf_preset_ns = [run_calf(args.lv2render, args.pattern, p)[0] for p in calf_presets(args.lv2render)]

    rows = []  # (label, ns, target as (comparison, speed-up) or None, floor or None)
    rows.append(("Velmora default parameters", instrument["default"], (">=", DEFAULT_TARGET), None))
    for p in presets:
        rows.append(("Velmora " + p, instrument[p], (">=", PRESET_TARGET), floors.get(p)))
    if presets:
        rows.append(("Velmora mean of %d factory presets" % len(presets),
                     statistics.mean(instrument[p] for p in presets), (">=", MEAN_TARGET), None))
    rows.append(("Velmora heaviest configuration", instrument["heaviest"], None, floors.get("heaviest")))
    lv2_pair = None
    if args.velmora_lv2:
        lv2_runs = [run_lv2render(args.lv2render, VELMORA_URI, args.pattern, lv2_path=args.velmora_lv2)
                    for _ in range(args.calf_runs)]
        lv2_pair = statistics.median(pair for _, _, pair in lv2_runs)
        rows.append(("Velmora LV2 plug-in in lv2render, default (median of %d)" % len(lv2_runs),
                     statistics.median(ns for ns, _, _ in lv2_runs), None, None))
    rows.append(("Calf Monosynth default patch (median of %d)" % len(default_runs), calf, None, None))
    if calf_preset_ns:
        rows.append(("Calf Monosynth mean of its %d presets" % len(calf_preset_ns),
                     statistics.mean(calf_preset_ns), None, None))

    ctx = data.get("context", {})
    print()
    print("Velmora and Calf Monosynth, same pattern (%s s, %s events), 44.1 kHz; Velmora in 64-frame"
          % (SECONDS, ctx.get("pattern_events", "?")))
    print("render calls, Calf%s through lv2render in %d-frame blocks. Commit %s."
          % (" and Velmora's LV2 plug-in" if args.velmora_lv2 else "", BLOCK, commit_label()))
    print("Velmora built as `make build` builds it, %s" % " ".join(ctx.get("build_flags", "?").split()))
    print("Every figure without the clock's own cost (below). Targets: default >= %.1fx Calf, mean of the"
          % DEFAULT_TARGET)
    print("presets >= %.1fx, every preset >= %.1fx (at most %.0f times Calf's time). floor: the slowest filter"
          % (MEAN_TARGET, PRESET_TARGET, 1 / PRESET_TARGET))
    print("recursion on the path (its kernel benchmark, ns per sample), at least the default patch's time;")
    print("x floor: the time over it (reported, not a target).")
    width = max(len(r[0]) for r in rows)
    header = "%-*s  %9s  %11s  %12s  %6s  %7s  %s" % (width, "configuration", "ns/frame", "realtime x",
                                                     "Calf/Velmora", "floor", "x floor", "target")
    print(header)
    print("-" * len(header))
    for label, ns, target, floor in rows:
        ratio = calf / ns
        mark = ""
        if target is not None:
            mark = "%s %.1fx Calf: %s" % (target[0], target[1], "met" if ratio >= target[1] else "NOT met")
        floor_text = over_text = ""
        if floor:
            floor_text, over_text = "%6.2f" % floor, "%7.2f" % (ns / floor)
        print("%-*s  %9.2f  %11.0f  %12.2f  %6s  %7s  %s" % (width, label, ns, 1e9 / ns / RATE, ratio, floor_text,
                                                         over_text, mark))
    print()
    frames = SECONDS * RATE
    print("The clock's cost per frame, taken off each side: lv2render reads a pair around each of its %d run()"
          % calls)
    print("calls (%.0f ns a pair for Calf%s): %.2f ns/frame;"
          % (calf_pair, ", %.0f ns for Velmora's LV2 plug-in" % lv2_pair if lv2_pair else "",
             calf_pair * calls / frames))
    timer = next((v for n, v in bench.items() if n.startswith("Timer/")), None)
    if timer is not None:
        print("Velmora's benchmarks read one pair per song (%.0f ns): %.4f ns/frame, and subtract the song's event"
              % (timer, timer / frames))
        print("calls timed alone.")
    if args.instances:
        counts, memory = session(args.instances, args.pattern)
        print()
        print("A session: instances in one process on one thread, each with its own preset, rendered round-robin")
        print("in 64-frame calls, events included; each song timed as a whole; least of %s runs. alone: each of"
              % memory.get("runs", "?"))
        print("the same presets played by one instance in the same loop, interleaved with the sessions; ratio: the")
        print("session's time over the sum of its presets' times alone.")
        print("  %-9s  %-18s  %13s  %13s  %6s  %s" % ("instances", "presets", "ns/frame each", "alone, mean",
                                                      "ratio", "target"))
        for r in counts:
            n = int(r["instances"])
            numbers = ["%02d" % int(p) for p in r["presets"].split(",")]
            r["presets"] = ", ".join(numbers) if n <= 4 else "%s, %s .. %s" % (numbers[0], numbers[1], numbers[-1])
            ratio = float(r["ratio"])
            mark = ("<= %.1f: %s" % (SESSION_TARGET, "met" if ratio <= SESSION_TARGET else "NOT met")
                    if n == 16 else "")
            print("  %-9d  %-18s  %13.2f  %13.2f  %6.3f  %s" % (n, r["presets"], float(r["ns_per_frame"]),
                                                             float(r["alone_ns_per_frame"]), ratio, mark))
        print("  resident memory per added instance: %.0f KB" % float(memory["memory_per_instance_kb"]))
    first = ctx.get("initialize_first_ms")
    another = bench.get("Initialize/another instance/manual_time")
    if first is not None and another is not None:
        print()
        print("Opening and initializing an instance (CPU ms):")
        rows = [("first in the process", float(first), 20.0), ("another, with one open", another / 1e6, 5.0)]
        if args.lv2_first and args.velmora_lv2:
            # Wall time, as a host's user waits for it: the library's loading included.
            rows.append(("first LV2, wall time", lv2_first(args.lv2_first, os.path.join(args.velmora_lv2,
                                                                                         "velmora.lv2")), 20.0))
        for label, ms, limit in rows:
            print("  %-24s %8.2f   target < %.0f ms: %s" % (label, ms, limit, "met" if ms < limit else "NOT met"))
        print()
    if args.velmora:
        stats = statistics.median(render_stats(args.velmora, args.pattern) for _ in range(args.calf_runs))
        off = stats / instrument["default"] - 1
        print("`velmora render --stats` on the same song and build (median of %d runs): %.2f ns/frame,"
              % (args.calf_runs, stats))
        print("%+.0f %% from the benchmark's default row: %s (target within 10 %%; each run is a cold process,"
              % (100 * off, "met" if abs(off) <= 0.10 else "NOT met"))
        print("and it counts the MIDI calls that the benchmark subtracts).")
    load = os.getloadavg()[0]
    if load > 1.2:
        print("Note: load average %.1f while measuring: other work shared the 2 cores, figures drift." % load)

    if args.components:
        print()
        print("Component benchmarks (ns per sample; SetFilter: ns per call)")
        for name, ns in bench.items():
            if not name.startswith(("Instrument/", "Timer/", "Initialize/")):
                print("  %-52s %8.2f" % (clean(name), ns))


if __name__ == "__main__":
    main()
