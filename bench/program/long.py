#!/usr/bin/env python3
"""Figures of long recordings: the command-line tools' peak memory on a day, decode and
export against gpsd's gpsdecode and gpsbabel on the same fixes, the program's replay of
six hours with and without History and Position Scatter and of a whole day, and the
Position Scatter paint with 100,000 fixes. report.py calls rows(); alone:

    long.py BUILD_DIR [--quick]      prints the rows as JSON

The recordings come from bench/kestrel-longrecording (the same bytes at every run) and
are kept in BUILD_DIR/bench-results/long between runs. A peer that is not installed
(gpsdecode from gpsd-clients, gpsbabel) leaves its rows unmeasured with a note.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def recording(build, hours):
    """The generated recording of `hours` hours, made once."""
    folder = os.path.join(build, "bench-results", "long")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"{hours:g}h.krec")
    if not os.path.exists(path):
        subprocess.run([f"{build}/bench/kestrel-longrecording", f"{hours:g}", path + ".part"],
                       check=True)
        os.replace(path + ".part", path)
    return path


def measured(argv, stdin=None, stdout=subprocess.DEVNULL):
    """Runs argv to its end: (CPU seconds, peak resident kB, exit status, stderr)."""
    with tempfile.TemporaryFile() as err:
        p = subprocess.Popen(argv, stdin=stdin, stdout=stdout, stderr=err)
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return (usage.ru_utime + usage.ru_stime, usage.ru_maxrss, p.returncode,
                err.read().decode(errors="replace"))


def median_of(runs, fn):
    """fn() `runs` times: the median of each figure it returns, and the min and max."""
    results = [fn() for _ in range(runs)]
    out = {}
    for key in results[0]:
        values = sorted(r[key] for r in results)
        n = len(values)
        med = values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2
        out[key] = (med, values[0], values[-1])
    return out


def unmeasured(name, note):
    return (name, "not measured", "", "", "-", note)


def tool_memory(build, rows, row, day, runs):
    ctl = f"{build}/tools/kestrelctl/kestrelctl"
    out = os.path.join(os.path.dirname(day), "day.gpx")
    for name, argv in (("stats", [ctl, "stats", day]),
                       ("export", [ctl, "export", "--format", "gpx", day, "-o", out]),
                       ("decode", [ctl, "decode", day]),
                       ("decode --json", [ctl, "decode", "--json", day])):
        def once():
            cpu, peak_kb, status, err = measured(argv)
            if status != 0:
                raise RuntimeError(f"kestrelctl {name}: status {status}: {err.strip()}")
            return {"mb": peak_kb / 1024}
        m = median_of(runs, once)["mb"]
        rows.append(row(f"kestrelctl {name}, 24 h recording, peak RSS", "MB", *m, "<= 40 MB",
                        m[0] <= 40, f"{os.path.getsize(day) / 1e6:.0f} MB recording"))


def fixes_of(export_err):
    m = re.search(r"(\d+) track points", export_err)
    return int(m.group(1)) if m else 0


def peers(build, rows, row, six, runs):
    """decode --json and export --format gpx against gpsdecode -j and gpsbabel, per fix."""
    ctl = f"{build}/tools/kestrelctl/kestrelctl"
    folder = os.path.dirname(six)
    nmea = os.path.join(folder, "6h.nmea")
    _, _, status, err = measured([ctl, "export", "--format", "nmea", six, "-o", nmea])
    fixes = fixes_of(err)
    if status != 0 or not fixes:
        raise RuntimeError(f"kestrelctl export --format nmea: status {status}: {err.strip()}")
    note = f"{fixes} fixes of a 6 h recording"

    def per_fix_us(argv, stdin_path=None):
        def once():
            with open(stdin_path or os.devnull, "rb") as stdin:
                cpu, _, status, err = measured(argv, stdin=stdin)
            if status != 0:
                raise RuntimeError(f"{argv[0]}: status {status}: {err.strip()}")
            return {"us": cpu / fixes * 1e6}
        return median_of(runs, once)["us"]

    ours = per_fix_us([ctl, "decode", "--json", six])
    rows.append(row("decode --json, CPU per fix", "us", *ours, "reference", None, note))
    gpsdecode = shutil.which("gpsdecode")
    if gpsdecode:
        theirs = per_fix_us([gpsdecode, "-j"], nmea)
        rows.append(row("peer gpsdecode -j, CPU per fix", "us", *theirs, "reference", None,
                        "the same fixes as NMEA (export --format nmea)"))
        ratio = ours[0] / theirs[0] if theirs[0] else 0
        rows.append(row("decode --json / gpsdecode -j, per fix", "", ratio, ratio, ratio,
                        "<= 1.0", 0 < ratio <= 1.0, "medians of this run"))
    else:
        rows.append(unmeasured("decode --json / gpsdecode -j",
                               "gpsdecode not installed (gpsd-clients)"))

    gpx = os.path.join(folder, "6h.gpx")
    ours = per_fix_us([ctl, "export", "--format", "gpx", six, "-o", gpx])
    rows.append(row("export --format gpx, CPU per fix", "us", *ours, "reference", None, note))
    gpsbabel = shutil.which("gpsbabel")
    if gpsbabel:
        theirs = per_fix_us([gpsbabel, "-i", "nmea", "-f", nmea, "-o", "gpx", "-F",
                             os.path.join(folder, "6h-gpsbabel.gpx")])
        rows.append(row("peer gpsbabel nmea -> gpx, CPU per fix", "us", *theirs, "reference",
                        None, "the same fixes as NMEA"))
        ratio = ours[0] / theirs[0] if theirs[0] else 0
        rows.append(row("export --format gpx / gpsbabel, per fix", "", ratio, ratio, ratio,
                        "<= 0.3", 0 < ratio <= 0.3, "medians of this run"))
    else:
        rows.append(unmeasured("export --format gpx / gpsbabel", "gpsbabel not installed"))


def replay(build, path, windows, timeout):
    """The program replays `path` as fast as possible (offscreen) with `windows` open:
    wall and CPU seconds from the main window's first paint to the replay's end, and the
    peak resident memory."""
    with tempfile.TemporaryDirectory(prefix="kestrel-bench-") as home:
        env = dict(os.environ, XDG_CONFIG_HOME=home, HOME=home, QT_QPA_PLATFORM="offscreen",
                   KESTREL_PROBE_REPLAY_END="1", KESTREL_PROBE_OPEN=windows,
                   KESTREL_PROBE_OUT=os.path.join(home, "probe.out"))
        prog = subprocess.Popen([f"{build}/bench/kestrel-probe", "--replay", path,
                                 "--speed", "max"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                env=env)
        try:
            end = time.monotonic() + timeout
            while time.monotonic() < end:
                line = prog.stdout.readline()
                if not line:
                    break
                if line.startswith("replayed"):
                    p = line.split()
                    return {"s": float(p[1]) / 1e3, "cpu_s": float(p[4]) / 1e3,
                            "peak_mb": int(p[7]) / 1024, "gap_ms": float(p[10])}
            raise RuntimeError(f"the replay of {path} did not finish in {timeout} s")
        finally:
            try:
                prog.stdin.write("quit\n")
                prog.stdin.flush()
                prog.wait(timeout=20)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                prog.kill()
                prog.wait()


def replays(build, rows, row, six, day, runs, timeout):
    quality = "NavHistory,NavScatter"
    # Paired runs, alternating, so that the machine's state weighs on both alike.
    without, withq = [], []
    for _ in range(runs):
        without.append(replay(build, six, "", timeout))
        withq.append(replay(build, six, quality, timeout))
    med = lambda rs, k: sorted(r[k] for r in rs)[len(rs) // 2]
    a, b = med(without, "cpu_s"), med(withq, "cpu_s")
    rows.append(row("replay 6 h as fast as possible, CPU", "s", a, min(r["cpu_s"] for r in without),
                    max(r["cpu_s"] for r in without), "reference", None, "main window only"))
    rows.append(row("replay 6 h with History + Position Scatter, CPU", "s", b,
                    min(r["cpu_s"] for r in withq), max(r["cpu_s"] for r in withq), "reference",
                    None))
    ratio = b / a if a else 0
    rows.append(row("replay 6 h, CPU with History + Scatter / without", "", ratio, ratio, ratio,
                    "<= 1.3", 0 < ratio <= 1.3, "medians of paired runs"))
    whole_day = [replay(build, day, "", timeout) for _ in range(max(1, runs - 1))]
    s = sorted(r["s"] for r in whole_day)
    rows.append(row("replay 24 h as fast as possible", "s", s[len(s) // 2], s[0], s[-1],
                    "<= 60 s", s[len(s) // 2] <= 60))
    m = sorted(r["peak_mb"] for r in whole_day)
    rows.append(row("replay 24 h, peak resident memory", "MB", m[len(m) // 2], m[0], m[-1],
                    "<= 100 MB", m[len(m) // 2] <= 100, "opening included"))
    g = sorted(r["gap_ms"] for r in whole_day)
    rows.append(row("replay 24 h, longest the window did not answer", "ms", g[len(g) // 2], g[0],
                    g[-1], "<= 100 ms", g[len(g) // 2] <= 100,
                    "from the first paint, loading and playing"))


def scatter_paint(rows, row, fixes_runs):
    """Position Scatter painted with 100,000 fixes, from bench_fixstatistics."""
    name = "BM_ScatterPaint100k"
    if not fixes_runs or name not in fixes_runs:
        rows.append(unmeasured("Position Scatter paint, 100,000 fixes", "no " + name))
        return
    cpu = sorted(r["cpu_time"] for r in fixes_runs[name])  # ms
    med = cpu[len(cpu) // 2]
    rows.append(row("Position Scatter paint, 100,000 fixes", "ms", med, cpu[0], cpu[-1],
                    "<= 5 ms", med <= 5, "20 new fixes a paint, offscreen"))
    whole = fixes_runs.get(name + "Whole")
    if whole:
        cpu = sorted(r["cpu_time"] for r in whole)
        rows.append(row("Position Scatter paint, 100,000 fixes, all dots again", "ms",
                        cpu[len(cpu) // 2], cpu[0], cpu[-1], "reference", None,
                        "after a resize"))


def rows(build, row, quick=False, fixes_runs=None):
    """The table rows of long recordings, made by report.py's row()."""
    out = []
    runs = 2 if quick else 3
    six = recording(build, 6)
    day = recording(build, 24)
    steps = (("scatter paint", lambda: scatter_paint(out, row, fixes_runs)),
             ("tool memory", lambda: tool_memory(build, out, row, day, runs)),
             ("peers", lambda: peers(build, out, row, six, runs)),
             ("replays", lambda: replays(build, out, row, six, day, runs, 900)))
    for name, step in steps:
        try:
            step()
        except (RuntimeError, OSError, subprocess.SubprocessError) as e:
            out.append(unmeasured(f"long recordings: {name}", str(e).splitlines()[-1][:100]))
    return out


def main():
    import argparse
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--quick", action="store_true")
    a = ap.parse_args()

    def row(name, unit, med, lo, hi, target, ok, note=""):
        return {"figure": name, "unit": unit, "median": med, "min": lo, "max": hi,
                "target": target, "met": ok, "note": note}
    print(json.dumps(rows(a.build, row, a.quick)))


if __name__ == "__main__":
    sys.exit(main())
