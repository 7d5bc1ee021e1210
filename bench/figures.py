"""Turns the figures measure.sh recorded into the table of docs/PERFORMANCE.md.

Usage: python3 bench/figures.py results.txt 256 "16 64 256 1024"
Each line of results.txt is "name value"; a name recorded n times is n runs.
"""
import statistics
import sys
from collections import defaultdict

runs = defaultdict(list)
for line in open(sys.argv[1]):
    name, value = line.split()
    runs[name].append(float(value))
run_mib = int(sys.argv[2])
sizes = [int(size) for size in sys.argv[3].split()]


def median(name):
    return statistics.median(runs[name])


def spread(name, scale=1.0, unit=""):
    values = runs[name]
    return (f"{statistics.median(values) * scale:.1f}{unit} "
            f"({min(values) * scale:.1f} to {max(values) * scale:.1f}, n={len(values)})")


rows = []


def row(what, target, measured, floor, ratio, met):
    rows.append((what, target, measured, floor, f"{ratio:.2f}" if ratio is not None else "",
                 "yes" if met else "**no**"))


def have(*names):
    return all(runs.get(name) for name in names)


memcpy = "BM_Memcpy"
for what, name in [("category patch (three rules), 64 MiB", "BM_CategoryPatch"),
                   ("version patch, 64 MiB", "BM_VersionPatch"),
                   ("reading 64 MiB into the script text, with the log copy",
                    "BM_ReadScriptWithLogCopy")]:
    if have(name, memcpy):
        ratio = median(name) / median(memcpy)
        row(what, "<= 3x memcpy", spread(name, unit=" ms"), "memcpy " + spread(memcpy, unit=" ms"),
            ratio, ratio <= 3)
        if name == "BM_ReadScriptWithLogCopy" and have("BM_ReadFloor"):
            ratio = median(name) / median("BM_ReadFloor")
            rows.append(("the same reading against read() and write() into fresh large pages",
                         "(what bounds it)", spread(name, unit=" ms"),
                         "BM_ReadFloor " + spread("BM_ReadFloor", unit=" ms"), f"{ratio:.2f}", ""))

if have("run.us", "floor.us"):
    ratio = median("run.us") / median("floor.us")
    row(f"whole run, Yes/Yes, {run_mib} MiB", "<= 1.25x file-operation floor",
        spread("run.us", 1e-3, " ms"), spread("floor.us", 1e-3, " ms"), ratio, ratio <= 1.25)
if have("compare.us", "floor.us"):
    ratio = median("compare.us") / median("floor.us")
    row(f"the same run by the COMPARE_RUN program, {run_mib} MiB", "(compared)",
        spread("compare.us", 1e-3, " ms"), spread("floor.us", 1e-3, " ms"), ratio, ratio <= 1.25)
if have("run.us", "sed.us"):
    ratio = median("run.us") / median("sed.us")
    row("the same run against sed -i.bak and cat >> log", "faster than sed",
        spread("run.us", 1e-3, " ms"), "sed " + spread("sed.us", 1e-3, " ms"), ratio,
        ratio < 1)
if have("run.peak_kib"):
    ratio = median("run.peak_kib") / (run_mib * 1024)
    row(f"peak memory of the {run_mib} MiB run", "<= 2.5x file size",
        spread("run.peak_kib", 1 / 1024, " MiB"), f"file {run_mib} MiB", ratio, ratio <= 2.5)

per_mib = {size: median(f"sweep{size}.us") * 1e-3 / size for size in sizes
           if have(f"sweep{size}.us")}
if len(per_mib) > 1:
    low, high = min(per_mib.values()), max(per_mib.values())
    measured = ", ".join(f"{size} MiB: {value:.2f}" for size, value in per_mib.items())
    floors = ", ".join(f"{size} MiB: {median(f'sweepfloor{size}.us') * 1e-3 / size:.2f}"
                       for size in per_mib if have(f"sweepfloor{size}.us"))
    row("time per MiB from 16 MiB to 1 GiB (ms/MiB, medians)", "flat within 30%", measured,
        "floor " + floors, high / low, high / low <= 1.3)
    if have("fixed.us"):
        fixed = median("fixed.us") * 1e-3
        net = {size: (median(f"sweep{size}.us") * 1e-3 - fixed) / size for size in per_mib}
        rows.append(("the same, less what a 64 KiB run costs "
                     f"({fixed:.0f} ms: start, flushes, renames)", "(linear growth)",
                     ", ".join(f"{size} MiB: {value:.2f}" for size, value in net.items()), "",
                     f"{max(net.values()) / min(net.values()):.2f}", ""))
scaling = {int(name[len("BM_CategoryPatchScaling"):]) >> 20: median(name)
           for name in runs if name.startswith("BM_CategoryPatchScaling") and name[-1].isdigit()}
if len(scaling) > 1:
    per = {size: value / size for size, value in sorted(scaling.items())}
    rows.append(("category patch per MiB, 16 MiB to 1 GiB (ms/MiB)", "(linear growth)",
                 ", ".join(f"{size} MiB: {value:.3f}" for size, value in per.items()), "",
                 f"{max(per.values()) / min(per.values()):.2f}", ""))

if have("morvane-patch.map_ms", "qt-minimal-window.map_ms"):
    ratio = median("morvane-patch.map_ms") / median("qt-minimal-window.map_ms")
    row("start-up: exec to main window mapped, Xvfb", "<= 1.3x minimal Qt window",
        spread("morvane-patch.map_ms", unit=" ms"),
        "minimal " + spread("qt-minimal-window.map_ms", unit=" ms"), ratio, ratio <= 1.3)
if have("startup-steps.script_search", "startup-steps.script_shown"):
    found = [a + b for a, b in zip(runs["startup-steps.script_search"],
                                   runs["startup-steps.script_shown"])]
    runs["startup-steps.script_found"] = found
    row("start-up: the script searched for in five Wine prefixes and shown (startup-steps)",
        "<= 20 ms", spread("startup-steps.script_found", unit=" ms"),
        "search " + spread("startup-steps.script_search", unit=" ms") + ", shown " +
        spread("startup-steps.script_shown", unit=" ms"), None,
        median("startup-steps.script_found") <= 20)
for field, label in [("pss_kib", "PSS"), ("rss_kib", "RSS")]:
    if have(f"morvane-patch.{field}", f"qt-minimal-window.{field}"):
        ratio = median(f"morvane-patch.{field}") / median(f"qt-minimal-window.{field}")
        row(f"idle memory after start-up ({label})", "<= 1.3x minimal Qt window",
            spread(f"morvane-patch.{field}", 1 / 1024, " MiB"),
            "minimal " + spread(f"qt-minimal-window.{field}", 1 / 1024, " MiB"), ratio,
            ratio <= 1.3)

print("| what | target | measured: median (min to max) | floor: median (min to max) | ratio | met |")
print("|---|---|---|---|---|---|")
for cells in rows:
    print("| " + " | ".join(cells) + " |")

others = sorted(name for name in runs if name.startswith("BM_") and name != memcpy and
                "Scaling" not in name and
                name not in ("BM_CategoryPatch", "BM_VersionPatch", "BM_ReadScriptWithLogCopy"))
if others:
    print()
    print("| other benchmark, 64 MiB | median (min to max) | x memcpy |")
    print("|---|---|---|")
    for name in others:
        print(f"| {name} | {spread(name, unit=' ms')} | {median(name) / median(memcpy):.2f} |")
