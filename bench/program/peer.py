#!/usr/bin/env python3
"""The peer for the everyday figure: gpsd's graphical client xgps (Python and GTK, sky
view and satellite list) fed by gpsd from a pseudo-terminal carrying NMEA at 10 fixes a
second with eight satellites, under its own virtual X server. Prints one JSON object
with xgps's CPU seconds per minute and resident memory (gpsd's own CPU apart).
Exits 3 with a message on stderr when gpsd, xgps or Xvfb is missing.
Usage: peer.py [--seconds S] [--rate HZ]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")
PY = "/usr/bin/python3"  # xgps needs the system's Python with its GTK bindings


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def nmea(body):
    c = 0
    for ch in body.encode():
        c ^= ch
    return f"${body}*{c:02X}\r\n"


def fix_sentences(t):
    """One fix at time t (seconds): GGA, GSA, RMC and two GSV with eight satellites."""
    hh, mm, ss = int(t // 3600) % 24, int(t // 60) % 60, t % 60
    stamp = f"{hh:02d}{mm:02d}{ss:05.2f}"
    lat = f"{4722.2 + (t % 60) * 1e-4:.4f}"
    lon = f"00832.{4000 + int(t * 10) % 900:04d}"
    sats = [(2 + 3 * k, 20 + 8 * k, (k * 45 + int(t / 60)) % 360, 30 + (int(t) + 5 * k) % 20)
            for k in range(8)]
    out = [nmea(f"GPGGA,{stamp},{lat},N,{lon},E,1,08,0.9,420.0,M,48.0,M,,"),
           nmea("GPGSA,A,3," + ",".join(str(s[0]) for s in sats) + ",,,,,1.6,0.9,1.3"),
           nmea(f"GPRMC,{stamp},A,{lat},N,{lon},E,19.4,30.0,071226,,,A")]
    for part in range(2):
        group = sats[4 * part:4 * part + 4]
        body = f"GPGSV,2,{part + 1},08," + ",".join(f"{p:02d},{e},{a:03d},{s}"
                                                     for p, e, a, s in group)
        out.append(nmea(body))
    return "".join(out).encode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--rate", type=float, default=10)
    a = ap.parse_args()
    missing = [p for p in ("gpsd", "xgps", "Xvfb") if not shutil.which(p)]
    if missing or subprocess.run([PY, "-c", "import gi, gps"], capture_output=True).returncode:
        print("gpsd's clients are not installed (apt-get install gpsd gpsd-clients)",
              file=sys.stderr)
        return 3

    master, slave = os.openpty()
    tty = os.ttyname(slave)
    os.chmod(tty, 0o666)  # gpsd may drop to its own user
    port = str(29470 + os.getpid() % 500)
    display = ":%d" % (190 + os.getpid() % 100)
    procs = []
    try:
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten",
                                 "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        gpsd = subprocess.Popen(["gpsd", "-N", "-n", "-b", "-S", port, "-F",
                                 f"/tmp/kestrel-peer-{port}.sock", tty],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(gpsd)
        time.sleep(1)
        env = dict(os.environ, DISPLAY=display)
        env.pop("QT_QPA_PLATFORM", None)
        t = 12 * 3600.0
        for _ in range(20):  # a couple of seconds of fixes before the client starts
            os.write(master, fix_sentences(t))
            t += 1 / a.rate
            time.sleep(1 / a.rate)
        xgps = subprocess.Popen([PY, shutil.which("xgps"), f"localhost:{port}"], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(xgps)
        start = time.monotonic()
        measured = None
        next_at = start
        while time.monotonic() - start < a.seconds + 3:
            os.write(master, fix_sentences(t))
            t += 1 / a.rate
            next_at += 1 / a.rate
            now = time.monotonic()
            if measured is None and now - start >= 3:  # after its window has come up
                measured = (now, cpu_seconds(xgps.pid), cpu_seconds(gpsd.pid))
            time.sleep(max(0.0, next_at - time.monotonic()))
            if xgps.poll() is not None:
                print("xgps ended early", file=sys.stderr)
                return 3
        now = time.monotonic()
        elapsed = now - measured[0]
        result = {"figure": "peer", "client": "xgps", "rate": a.rate, "seconds": elapsed,
                  "cpu_s_per_min": (cpu_seconds(xgps.pid) - measured[1]) / elapsed * 60,
                  "rss_mb": rss_kb(xgps.pid) / 1024,
                  "gpsd_cpu_s_per_min": (cpu_seconds(gpsd.pid) - measured[2]) / elapsed * 60}
        print(json.dumps(result))
        return 0
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        os.close(master)
        os.close(slave)


if __name__ == "__main__":
    sys.exit(main())
