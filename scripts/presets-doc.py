#!/usr/bin/env python3
"""Writes docs/presets.md: one row per factory preset, its kind, what velocity, the mod wheel and
pressure do on it (read from its values), its loudness and true peak over the audition, and its
highest true peak over the sweep's grid of keys, velocities and controllers.

usage: presets-doc.py VELMORA_BINARY OUT.md   (run from the source tree)"""
import re
import subprocess
import sys

SOURCE = "src/Velmora/VelmoraFactoryPresets.cpp"
# Modulation selector -> (its depth, what it moves).
TARGETS = {9: (10, "pitch 1"), 12: (13, "morphology 1"), 15: (16, "shape 1"), 19: (20, "pitch 2"),
           22: (23, "morphology 2"), 25: (26, "shape 2"), 30: (31, "noise level"), 32: (33, "noise pan"),
           36: (37, "level 1"), 38: (39, "level 2"), 42: (43, "shaper A"), 46: (47, "shaper B"),
           53: (54, "cutoff A"), 60: (61, "cutoff B"), 81: (82, "LFO1 speed"), 83: (84, "LFO1 depth"),
           89: (90, "LFO2 speed"), 91: (92, "LFO2 depth")}
CONTROLLERS = {"velocity": (1, 2), "wheel": (5, 6), "pressure": (3, 4)}
MULTIPLIERS = {(93, 95): (19, 20), (96, 98): (21, 22)}  # inputs -> the sources that carry the product


def moves(values, sources):
    """What the sources move, directly or through a multiplier, with the sign of the depth."""
    used = set(sources)
    for (a, b), product in MULTIPLIERS.items():
        if int(values[a]) in sources or int(values[b]) in sources:
            used |= set(product)
    out = []
    for selector, (depth, what) in TARGETS.items():
        if values[depth] != 0 and int(values[selector]) in used:
            out.append(("-" if int(values[selector]) % 2 == 0 else "+") + what)
    return out


def main():
    binary, out_path = sys.argv[1], sys.argv[2]
    text = open(SOURCE, encoding="latin-1").read()
    presets = [(name, [float(v) for v in values.split(",")])
               for name, values in re.findall(r'\{"([^"]*)", \{([^}]*)\}\}', text)]
    kinds = re.findall(r'"(bass|lead|pad|sequence|effect)",\s*// \d+', text)
    report = subprocess.run([binary, "presets", "--measure"], check=True, capture_output=True, text=True).stdout
    figures = {}
    for line in report.splitlines():
        m = re.match(r"\s*(\d+)\s+.*?\s+(-?[\d.]+|-inf)\s+(-?[\d.]+|-inf)\s+[+-]\d\.\d+ \|", line)
        if m:
            figures[int(m.group(1))] = (m.group(2), m.group(3))
    sweep = subprocess.run([binary, "presets", "--measure", "--sweep"], check=True, capture_output=True,
                           text=True).stdout
    worst = {}
    for line in sweep.splitlines():
        m = re.match(r"\s*(\d+)\s+.*?\s+(-?[\d.]+|-inf)\s+\|\s+\d+", line)
        if m:
            worst[int(m.group(1))] = m.group(2)
    rows = ["# The factory presets", "",
            "Written by `make presets-doc` from the presets' values and `velmora presets --measure` "
            "(loudness and true peak over examples/audition.mid) and `velmora presets --measure --sweep` "
            "(the highest true peak over keys 24-100 in steps of 4 at velocities 1, 64 and 127, the wheel "
            "and pressure at 0, half and full, the bend at rest and at both ends); + raises, - lowers.", "",
            "| # | Preset | Kind | Velocity | Wheel | Pressure | LUFS | dBTP | Sweep dBTP |",
            "|---|---|---|---|---|---|---|---|---|"]
    for n, (name, values) in enumerate(presets):
        what = {}
        for controller, sources in CONTROLLERS.items():
            what[controller] = moves(values, sources)
        # Velocity scales envelopes 2 and 3, which matters only where they modulate something.
        velocity = what["velocity"] + ["level"] * (values[66] > 0)
        for amount, envelope, sources in ((71, "envelope 2", (11, 12)), (76, "envelope 3", (13, 14))):
            if values[amount] > 0 and moves(values, sources):
                velocity.append(f"{envelope} ({', '.join(m[1:] for m in moves(values, sources))})")
        lufs, peak = figures.get(n, ("?", "?"))
        rows.append(f"| {n} | {name} | {kinds[n]} | {', '.join(velocity) or '-'} | "
                    f"{', '.join(what['wheel']) or '-'} | {', '.join(what['pressure']) or '-'} | {lufs} | {peak} | "
                    f"{worst.get(n, '?')} |")
    with open(out_path, "w") as out:
        out.write("\n".join(rows) + "\n")
    print(f"wrote {out_path}: {len(presets)} presets")


main()
