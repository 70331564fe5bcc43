#!/usr/bin/env python3
"""Runs every Kestrel benchmark in BUILD_DIR and prints one table of figures and targets.

Micro benchmarks: Google Benchmark, several repetitions, median and spread.
Whole-program figures: bench/program/wholeprogram.py, several runs, median and spread.
Long recordings (tools, peers gpsdecode and gpsbabel, replays): bench/program/long.py.
Usage: report.py BUILD_DIR [--quick] [--json FILE]
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def micro(build, binary, reps, min_time):
    out = subprocess.run(
        [f"{build}/bench/{binary}", f"--benchmark_repetitions={reps}",
         f"--benchmark_min_time={min_time}", "--benchmark_format=json"],
        check=True, capture_output=True, text=True,
        env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    runs = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        runs.setdefault(b["run_name"], []).append(b)
    return runs


def stats(values):
    values = sorted(values)
    n = len(values)
    med = values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2
    return med, values[0], values[-1]


def row(name, unit, med, lo, hi, target, ok, note=""):
    verdict = "met" if ok else "MISSED"
    if ok is None:
        verdict = "-"
    return (name, f"{med:.3g} {unit}", f"{lo:.3g} .. {hi:.3g}", target, verdict, note)


def whole(build, figure, runs, extra):
    out = subprocess.run([sys.executable, f"{HERE}/program/wholeprogram.py", build, figure,
                          "--runs", str(runs), *extra],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--quick", action="store_true", help="fewer runs, shorter loads")
    ap.add_argument("--json")
    a = ap.parse_args()
    reps, min_time = (3, 0.1) if a.quick else (7, 0.5)
    wruns = 2 if a.quick else 5
    load_s = "15" if a.quick else "60"
    rows, raw = [], {}

    rx = micro(a.build, "bench_receive", reps, min_time)
    sky = micro(a.build, "bench_skyplot", reps, min_time)
    ctl = micro(a.build, "bench_controls", reps, min_time)
    fixes = micro(a.build, "bench_fixstatistics", reps, min_time)
    raw["micro"] = {**rx, **sky, **ctl, **fixes}

    def rate(name, key):
        return stats([r[key] for r in rx[name]])

    med, lo, hi = (v / 1e9 for v in rate("BM_FramerAlone_Mixed", "bytes_per_second"))
    rows.append(row("framer alone, mixed stream", "GB/s", med, lo, hi, ">= 1 GB/s", med >= 1))
    med, lo, hi = (v / 1e9 for v in rate("BM_FramerAlone_NavSat", "bytes_per_second"))
    rows.append(row("framer alone, nav+sat stream", "GB/s", med, lo, hi, ">= 1 GB/s", med >= 1))
    med, lo, hi = (v / 1e6 for v in rate("BM_ReceivePath_Mixed/4096", "frames/s"))
    rows.append(row("receive path, every window open", "M frames/s", med, lo, hi,
                    ">= 1 M frames/s", med >= 1))
    med, lo, hi = (v / 1e6 for v in rate("BM_ReceivePath_MainWindowOnly_Mixed", "frames/s"))
    rows.append(row("receive path, main window only", "M frames/s", med, lo, hi,
                    ">= 1 M frames/s", med >= 1))
    for name, label, limit in (("BM_DrawSkyPlot_DesignSize", "DrawSkyPlot, design size", 1.0),
                               ("BM_DrawSkyPlot_1000px", "DrawSkyPlot, 1000 x 1000", 5.0),
                               ("BM_DrawSkyPlot_DesignSize_NotShown",
                                "DrawSkyPlot, design size, not painted", 1.0)):
        med, lo, hi = (v / 1e3 for v in stats([r["cpu_time"] for r in sky[name]]))  # us -> ms
        rows.append(row(label, "ms", med, lo, hi, f"<= {limit:g} ms", med <= limit))
    # What a data window's value controls cost per message (8 of 64 texts changed): the
    # figures behind the choice of control, with no target of their own.
    for name, label in (("BM_Controls_SelectableLabel", "value controls: selectable labels"),
                        ("BM_Controls_PlainLabel", "value controls: plain labels"),
                        ("BM_Controls_ReadOnlyLineEdit", "value controls: read-only line edits"),
                        ("BM_Controls_ValueText", "value controls: ValueText (the windows' own)")):
        if name in ctl:
            med, lo, hi = stats([r["cpu_time"] for r in ctl[name]])
            rows.append(row(label, "us/message", med, lo, hi, "reference", None))

    med, lo, hi = stats([r["cpu_time"] for r in fixes["BM_AddAndSummary/100000"]])  # ms
    rows.append(row("accuracy figures of 100,000 fixes, one more", "ms", med, lo, hi, "< 5 ms",
                    med < 5))

    lat = whole(a.build, "latency", wruns, [])
    raw["latency"] = lat
    m = lat["median_ms"]
    rows.append(row("added latency, median", "ms", m["median"], m["min"], m["max"], "<= 1 ms",
                    m["median"] <= 1, f"{lat['frames_lost']} lost"))
    p = lat["p99_ms"]
    rows.append(row("added latency, 99th percentile", "ms", p["median"], p["min"], p["max"],
                    "<= 5 ms", p["median"] <= 5))

    fh = whole(a.build, "firehose", max(1, wruns - 2), ["--seconds", load_s])
    raw["firehose"] = fh
    c = fh["cpu_percent"]
    rows.append(row("firehose 921600 Bd, CPU", "% core", c["median"], c["min"], c["max"],
                    "<= 8 %", c["median"] <= 8,
                    f"{fh['frames_lost']} of {fh['frames_sent']} frames lost"))
    g = fh["rss_growth_after_10s_kb"]
    rows.append(row("firehose, memory growth after 10 s", "kB", g["median"], g["min"], g["max"],
                    "< 1024 kB", g["max"] < 1024))
    rows.append(row("firehose, frames lost", "frames", fh["frames_lost"], fh["frames_lost"],
                    fh["frames_lost"], "0", fh["frames_lost"] == 0 and fh["checksum_errors"] == 0))

    ev = whole(a.build, "everyday", max(1, wruns - 2), ["--seconds", load_s])
    raw["everyday"] = ev
    c = ev["cpu_s_per_min"]
    rows.append(row("everyday 10+10 Hz, X server, CPU", "s/min", c["median"], c["min"], c["max"],
                    "<= 0.6 s/min", c["median"] <= 0.6, "Position + Receive Sat open"))
    r = ev["rss_mb"]
    rows.append(row("everyday, resident memory", "MB", r["median"], r["min"], r["max"], "<= 40 MB",
                    r["median"] <= 40))
    quality = "NavLevels,NavHistory,NavScatter"
    evq = whole(a.build, "everyday", max(1, wruns - 2),
                ["--seconds", load_s, "--windows", quality])
    raw["everyday_quality"] = evq
    c = evq["cpu_s_per_min"]
    rows.append(row("everyday, Signal Levels + History + Scatter", "s/min", c["median"], c["min"],
                    c["max"], "< 2 s/min", c["median"] < 2, "the three quality windows open"))

    # The message console: every frame a row, at the firehose rate and at the everyday one.
    fhm = whole(a.build, "firehose", max(1, wruns - 2),
                ["--seconds", load_s, "--windows", "NavMessages"])
    raw["firehose_messages"] = fhm
    c = fhm["cpu_percent"]
    rows.append(row("firehose with the Messages window open, CPU", "% core", c["median"],
                    c["min"], c["max"], "<= 8 %, 0 lost",
                    c["median"] <= 8 and fhm["frames_lost"] == 0,
                    f"{fhm['frames_lost']} of {fhm['frames_sent']} frames lost"))
    evm = whole(a.build, "everyday", max(1, wruns - 2),
                ["--seconds", load_s, "--windows", "NavPos,NavRevSat,NavMessages"])
    raw["everyday_messages"] = evm
    c = evm["cpu_s_per_min"]
    base = ev["cpu_s_per_min"]["median"]
    ratio = c["median"] / base if base else float("inf")
    rows.append(row("everyday with the console open / without", "", ratio, ratio, ratio,
                    "<= 1.5", ratio <= 1.5,
                    f"{c['median']:.2f} s/min with Messages, Position, Receive Sat open"))

    st = whole(a.build, "startup", wruns * 2, [])
    raw["startup"] = st
    t = st["ms"]
    rows.append(row("start-up to main window shown", "ms", t["median"], t["min"], t["max"],
                    "<= 100 ms", t["median"] <= 100, f"load average {st.get('load', 0):.1f}"))
    r = st["rss_mb"]
    rows.append(row("start-up, resident memory", "MB", r["median"], r["min"], r["max"], "<= 40 MB",
                    r["median"] <= 40))

    peer = subprocess.run([sys.executable, f"{HERE}/program/peer.py", "--seconds", load_s],
                          capture_output=True, text=True)
    if peer.returncode == 0 and peer.stdout.strip():
        pr = json.loads(peer.stdout.strip().splitlines()[-1])
        raw["peer"] = pr
        rows.append(row("peer xgps 10 Hz, CPU", "s/min", pr["cpu_s_per_min"], pr["cpu_s_per_min"],
                        pr["cpu_s_per_min"], "reference", None))
        rows.append(row("peer xgps, resident memory", "MB", pr["rss_mb"], pr["rss_mb"],
                        pr["rss_mb"], "reference", None))
        # The same messages a second through the peer and through Kestrel, in this run.
        ratio = ev["cpu_s_per_min"]["median"] / pr["cpu_s_per_min"] if pr["cpu_s_per_min"] else 0
        rows.append(row("everyday CPU / peer xgps CPU", "", ratio, ratio, ratio, "<= 0.1",
                        0 < ratio <= 0.1, "Kestrel with two data windows against xgps"))
    else:
        rows.append(("peer xgps", "not measured", "", "", "-",
                     (peer.stderr.strip().splitlines() or ["not available"])[-1]))

    # Hours and days of data: bench/program/long.py.
    sys.path.insert(0, os.path.join(HERE, "program"))
    import long as long_recordings
    rows += long_recordings.rows(a.build, row, a.quick, fixes)

    head = ("figure", "median", "spread (min .. max)", "target", "verdict", "note")
    widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
    for r in [head, tuple("-" * w for w in widths)] + rows:
        print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
    if a.json:
        with open(a.json, "w") as f:
            json.dump(raw, f, indent=1)


if __name__ == "__main__":
    sys.exit(main())
