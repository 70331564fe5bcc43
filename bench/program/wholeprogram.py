#!/usr/bin/env python3
"""Whole-program figures of Kestrel: start-up, added latency, firehose and everyday load.

Runs the real program (kestrel-probe: kestrelMain with a probe inside) against
kestrel-feed on a pseudo-terminal, and prints one JSON object per figure on stdout.
Usage: wholeprogram.py BUILD_DIR FIGURE [--runs N] [--seconds S]
FIGURE: startup | latency | firehose | everyday
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime + stime


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


class Session:
    """One feeder and one program, with a private settings folder."""

    def __init__(self, build, feed_args, platform="offscreen", display=None, open_windows=""):
        self.build = build
        self.tmp = tempfile.TemporaryDirectory(prefix="kestrel-bench-")
        self.feed = subprocess.Popen([f"{build}/bench/kestrel-feed", *feed_args],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.pty = self.feed.stdout.readline().strip()
        env = dict(os.environ)
        env.update({
            "XDG_CONFIG_HOME": self.tmp.name, "HOME": self.tmp.name,
            "QT_QPA_PLATFORM": platform,
            "KESTREL_PROBE_OUT": os.path.join(self.tmp.name, "probe.out"),
            "KESTREL_PROBE_OPEN": open_windows,
        })
        if display:
            env["DISPLAY"] = display
        self.env = env

    def start_program(self, extra_env=None, simulate=False):
        env = dict(self.env)
        env.update(extra_env or {})
        port = ["--simulate"] if simulate else ["--port", self.pty]
        env["KESTREL_PROBE_T0"] = str(time.monotonic_ns())
        self.prog = subprocess.Popen([f"{self.build}/bench/kestrel-probe", *port],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     stderr=subprocess.DEVNULL, env=env)
        return self.prog

    def wait_line(self, proc, prefix, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            line = proc.stdout.readline()
            if not line:
                break
            if line.startswith(prefix):
                return line.strip()
        raise RuntimeError(f"no '{prefix}' line")

    def go(self):
        self.feed.stdin.write("go\n")
        self.feed.stdin.flush()

    def feed_report(self):
        out = {"sent": []}
        for line in self.feed.stdout:
            k, v = line.split()
            if k == "sent":
                out["sent"].append(int(v))
            else:
                out[k] = float(v)
                if k in ("frames", "seconds") and "seconds" in out and "frames" in out and "bytes" in out:
                    break
                if k == "frames" and not self.stream_mode:
                    break
        return out

    def quit_program(self):
        self.prog.stdin.write("quit\n")
        self.prog.stdin.flush()
        self.prog.wait(timeout=20)
        probe = {"nav": []}
        with open(self.env["KESTREL_PROBE_OUT"]) as f:
            for line in f:
                k, v = line.split()
                if k == "nav":
                    probe["nav"].append(int(v))
                else:
                    probe[k] = int(v)
        return probe

    def close(self):
        for p in (getattr(self, "prog", None), self.feed):
            if p and p.poll() is None:
                try:
                    p.stdin.write("quit\n")
                    p.stdin.flush()
                except (BrokenPipeError, ValueError):
                    pass
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.tmp.cleanup()


def spread(values):
    values = sorted(values)
    return {"median": statistics.median(values), "min": values[0], "max": values[-1],
            "runs": len(values)}


class XServer:
    """A private virtual X server, for the figures taken under a real X server."""

    def __init__(self, platform):
        self.proc, self.display = None, None
        if platform == "xcb":
            self.display = ":%d" % (90 + os.getpid() % 100)
            self.proc = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x1024x24",
                                          "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)
            time.sleep(1)

    def close(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()


def startup(build, runs, platform):
    times, rss, app, dialog, cpu = [], [], [], [], []
    # Start-up is wall-clock time: what else the machine is doing shows in it.
    load_average = os.getloadavg()[0]
    x = XServer(platform)
    for _ in range(runs):
        s = Session(build, ["latency", "1", "0"], platform, x.display)
        s.stream_mode = False
        try:
            # On the program's own simulated receiver, the port dialog accepted at once.
            s.start_program({"KESTREL_PROBE_EXIT_ON_SHOW": "1"}, simulate=True)
            line = s.wait_line(s.prog, "shown")
            parts = line.split()
            times.append(float(parts[1]))
            rss.append(int(parts[4]) / 1024)
            app.append(float(parts[7]))
            dialog.append(float(parts[10]))
            cpu.append(float(parts[13]))
            s.prog.wait(timeout=10)
        finally:
            s.close()
    x.close()
    return {"figure": "startup", "platform": platform, "ms": spread(times),
            "rss_mb": spread(rss), "application_made_ms": spread(app),
            "port_dialog_shown_ms": spread(dialog), "cpu_ms": spread(cpu),
            "load": load_average}


def latency(build, runs, frames=1000, gap_ms=10.0):
    per_run = []
    all_lat = []
    lost = 0
    for _ in range(runs):
        s = Session(build, ["latency", str(frames), str(gap_ms)])
        s.stream_mode = False
        try:
            s.start_program({"KESTREL_PROBE_LATENCY": "1"})
            s.wait_line(s.prog, "ready")
            time.sleep(0.5)
            s.go()
            rep = s.feed_report()
            time.sleep(0.3)
            probe = s.quit_program()
        finally:
            s.close()
        sent, got = rep["sent"], probe["nav"]
        lost += len(sent) - len(got)
        lat = [(g - t) / 1e6 for t, g in zip(sent, got)]
        lat.sort()
        per_run.append({"median_ms": statistics.median(lat),
                        "p99_ms": lat[int(0.99 * (len(lat) - 1))], "max_ms": lat[-1]})
        all_lat += lat
    return {"figure": "latency", "frames_per_run": frames,
            "median_ms": spread([r["median_ms"] for r in per_run]),
            "p99_ms": spread([r["p99_ms"] for r in per_run]),
            "max_ms": max(r["max_ms"] for r in per_run), "frames_lost": lost}


def load(build, figure, baud, rate, seconds, runs, platform, open_windows):
    results = []
    x = XServer(platform)
    display = x.display
    try:
        for _ in range(runs):
            s = Session(build, ["stream", str(baud), str(rate), str(seconds)], platform,
                        display, open_windows)
            s.stream_mode = True
            try:
                prog = s.start_program()
                s.wait_line(prog, "ready")
                time.sleep(1)
                s.go()
                t0 = time.monotonic()
                cpu0 = cpu_seconds(prog.pid)
                perf = None
                if os.environ.get("KESTREL_BENCH_PERF"):
                    perf = subprocess.Popen(["perf", "record", "--call-graph", "dwarf,16384",
                                             "-F", os.environ.get("KESTREL_BENCH_PERF_FREQ", "500"), "-o", os.environ["KESTREL_BENCH_PERF"],
                                             "-p", str(prog.pid), "--", "sleep",
                                             str(min(seconds, 20))],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                samples = []
                while s.feed.poll() is None and time.monotonic() - t0 < seconds + 0.5:
                    time.sleep(1)
                    samples.append((time.monotonic() - t0, rss_kb(prog.pid)))
                rep = s.feed_report()
                cpu1 = cpu_seconds(prog.pid)
                if perf:
                    perf.wait()
                elapsed = rep["seconds"]
                time.sleep(0.5)
                probe = s.quit_program()
            finally:
                s.close()
            after10 = [kb for t, kb in samples if t >= 10]
            results.append({
                "cpu_s_per_min": (cpu1 - cpu0) / elapsed * 60,
                "cpu_percent": (cpu1 - cpu0) / elapsed * 100,
                "rss_mb_end": samples[-1][1] / 1024,
                "rss_growth_after_10s_kb": (max(after10) - after10[0]) if after10 else None,
                "frames_sent": int(rep["frames"]),
                "frames_logged": probe["log_updates"],
                "checksum_errors": probe["log_errors"],
            })
    finally:
        x.close()
    return {"figure": figure, "baud": baud, "rate": rate, "seconds": seconds,
            "platform": platform, "windows": open_windows or "main",
            "cpu_s_per_min": spread([r["cpu_s_per_min"] for r in results]),
            "cpu_percent": spread([r["cpu_percent"] for r in results]),
            "rss_mb": spread([r["rss_mb_end"] for r in results]),
            "rss_growth_after_10s_kb": spread([r["rss_growth_after_10s_kb"] for r in results]),
            "frames_lost": sum(r["frames_sent"] - r["frames_logged"] for r in results),
            "checksum_errors": sum(r["checksum_errors"] for r in results),
            "frames_sent": sum(r["frames_sent"] for r in results)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("figure", choices=["startup", "latency", "firehose", "everyday", "smoke"])
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--frames", type=int, default=1000)
    ap.add_argument("--platform", default="xcb", choices=["xcb", "offscreen"],
                    help="where start-up shows its window")
    ap.add_argument("--windows", default=None,
                    help="menu items the load opens (empty: main window only; everyday "
                         "opens NavPos,NavRevSat unless told, firehose none)")
    a = ap.parse_args()
    if a.figure == "smoke":
        # Each harness once and briefly, so that it keeps working; nothing is timed.
        r = {"figure": "smoke", "parts": [
            latency(a.build, 1, 20, 5),
            load(a.build, "firehose", 921600, 0, 2, 1, "offscreen", ""),
            startup(a.build, 1, "offscreen")]}
        lost = r["parts"][0]["frames_lost"] + r["parts"][1]["frames_lost"]
        print(json.dumps(r))
        return 1 if lost else 0
    if a.figure == "startup":
        r = startup(a.build, a.runs, a.platform)
    elif a.figure == "latency":
        r = latency(a.build, a.runs, a.frames)
    elif a.figure == "firehose":
        r = load(a.build, "firehose", 921600, 0, a.seconds, a.runs, "offscreen",
                 a.windows or "")
    else:
        windows = "NavPos,NavRevSat" if a.windows is None else a.windows
        r = load(a.build, "everyday", 115200, 10, a.seconds, a.runs, "xcb", windows)
    print(json.dumps(r))


if __name__ == "__main__":
    sys.exit(main())
