#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The framer seeds are frames of every received type, whole, torn, corrupted and
mixed with noise; each starts with the two control bytes the framer target reads
first (time zone and read size, line events). Run again after a protocol change;
the output is the same on every run.

Given the path of a built kestrel-sim, it also records a few seconds of the
simulated receiver's stream, with noise, corrupted and truncated frames, and
keeps it in pieces as framer seeds named sim-*.
"""
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
LENGTHS = {0xC3: 11, 0xC4: 11, 0xC5: 46, 0xC6: 46, 0xCA: 44, 0xCB: 50,
           0xB0: 4, 0xB1: 4, 0xB2: 4, 0xB6: 4, 0xB7: 4, 0xB8: 4, 0xB9: 4}


def frame(t, payload=None, rng=None):
    n = LENGTHS[t] - 4
    if payload is None:
        payload = bytes(rng.randrange(256) for _ in range(n)) if rng else bytes(n)
    payload = (payload + bytes(n))[:n]
    body = bytes([t, t]) + payload
    return body + bytes([(-sum(body)) % 256, 13])


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def framer_seeds():
    rng = random.Random(8)
    # A navigation frame with a plausible fix: 3D, position, BCD speed and time.
    nav = bytearray(40)
    nav[0:4] = bytes([0x04, 0x00, 0xA0, 0x00])
    nav[4:8] = (3321 * 9216).to_bytes(4, "big", signed=True)
    nav[8:12] = (-11818 * 9216).to_bytes(4, "big", signed=True)
    nav[12:14] = (2000).to_bytes(2, "big")
    for t in LENGTHS:
        write("framer", f"zero-{t:02X}", bytes([5, 0]) + frame(t))
        for i in range(3):
            write("framer", f"random-{t:02X}-{i}", bytes([rng.randrange(256), 0]) + frame(t, rng=rng))
    write("framer", "navigation-fix", bytes([12, 0]) + frame(0xCA, bytes(nav)))
    stream = b"".join(frame(t, rng=rng) for t in LENGTHS)
    write("framer", "every-type", bytes([0x25, 0]) + stream)
    write("framer", "every-type-bytewise", bytes([0x05, 0xFF]) + stream)
    noisy = b"".join(bytes(rng.randrange(256) for _ in range(rng.randrange(6))) + frame(t, rng=rng)
                     for t in LENGTHS)
    write("framer", "noise-between", bytes([0x45, 0x11]) + noisy)
    bad = bytearray(frame(0xC6, rng=rng))
    bad[-2] ^= 1
    write("framer", "bad-checksum", bytes([0, 0]) + bytes(bad) + frame(0xB7))
    write("framer", "no-terminator", bytes([0, 0]) + frame(0xC3)[:-1] + b"\x0a" + frame(0xC4))
    write("framer", "truncated", bytes([0xE5, 0x08]) + frame(0xCB, rng=rng)[:20] + frame(0xCA, rng=rng))
    write("framer", "doubled-headers", bytes([0, 0]) + bytes([0xC3, 0xC4, 0xC4, 0xC4]) + bytes(8))
    write("framer", "zeros", bytes([0, 0]) + bytes(64))
    # Every row of the satellite message filled, states and levels in all ranges.
    sat = bytearray()
    for i in range(8):
        sat += bytes([i + 1, (i * 37) % 256, i * 30, 0x40 + i, i * 0x11])
    write("framer", "satellites-full", bytes([3, 0]) + frame(0xCB, bytes(sat)))


def text_seeds():
    numbers = ["12.5", "&hFFFF", "&h8000", "&h12345678", "&h123456789", "-1e308", "1e999",
               " \t+3.", "1.2.3", "-.5e-3", "", "abc", "１２", "&h", "9" * 400, "0x1F",
               "1e", "+-1", "\t\t-0", "1,5"]
    for i, s in enumerate(numbers):
        write("numberreading", f"text-{i:02d}", s.encode())
    typed = ["26\n12\n7\n13\n5\n9", "99\n99\n99\n99\n99\n99", "FF\n0\n-1\n100\nzz\n",
             "33\n12.3455\n-118\n20.5", "2330\n16.8888\n-2330\n16.8889", "1000\n5",
             "16383.5\n-16384", "16384\n0", "1e9\n&hFFFFFFFF", "\n\n\n\n\n", "0.25\n65.535\n65.536"]
    for i, s in enumerate(typed):
        write("typedtext", f"fields-{i:02d}", s.encode())
    stored = ["1\n9600\n101\n8\n1\n5\n0\nFalse", "4\n19200\n110\n7\n2\n24\n3\nTrue",
              "5\n\n\n\n\n\n\n", "-1\n-9600\n0\n99\n3\n25\n-1\n1",
              "1e9\n9600.5\n&h65\n8\x07\n1\x00\n12\r\n3\t\nyes",
              "999999999999999999999\nnan\ninf\n\n\n-0\n+3\n TRUE "]
    for i, s in enumerate(stored):
        write("storedsettings", f"values-{i:02d}", s.encode())


def ctlinput_seeds():
    """Recordings (the test data, cut to the fuzzer's input size) and hexadecimal text."""
    data = os.path.join(HERE, "..", "data")
    for name in sorted(os.listdir(data)):
        if not name.endswith(".krec"):
            continue
        with open(os.path.join(data, name), "rb") as f:
            text = f.read()
        head = text[:3500]
        whole_lines = head[:head.rfind(b"\n") + 1]
        write("ctlinput", name.replace(".krec", "-head.krec"), whole_lines)
        write("ctlinput", name.replace(".krec", "-cut.krec"), head)
    hexes = ["CA CA 6C 0D", "0xCA,0xCA, 0x6C;0x0D", "B7B7920D # an acknowledgement\nB7 B7 93 0D",
             "c3:c3:" + "00:" * 7 + "7a:0d", "C", "CA CA 6C 0G", "\n\n# only a comment\n",
             " ".join(f"{b:02X}" for b in frame(0xCB, rng=random.Random(3)))]
    for i, s in enumerate(hexes):
        write("ctlinput", f"hex-{i:02d}", s.encode())
    write("ctlinput", "recording-bad-time", b"KESTREL RECORDING 1\n5 CACA\n3 6C0D\n")
    write("ctlinput", "recording-odd-digits", b"KESTREL RECORDING 1\n0 CAC\n")


def telnet_seeds():
    """What an RFC 2217 server says; each seed starts with how the reader's input is torn
    and which line settings the client asks for (0: 9600,e,8,1, 1: 115200,n,8,1,
    3: 16777471,s,5,1)."""
    IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254

    def sub(payload):
        esc = b"".join(bytes([b, b]) if b == IAC else bytes([b]) for b in payload)
        return bytes([IAC, SB, 44]) + esc + bytes([IAC, SE])

    def answers(speed, data, parity, stop):
        return (sub(bytes([101]) + speed.to_bytes(4, "big")) + sub(bytes([102, data])) +
                sub(bytes([103, parity])) + sub(bytes([104, stop])))

    agree = bytes([IAC, DO, 44, IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3])
    frame_ff = bytes([0xCA, 0xCA, 0xFF, 0xFF, 0x01, 0x6A, 13])
    write("telnet", "ser2net-9600e81", bytes([0, 0]) + agree + answers(9600, 8, 3, 1) + b"data")
    write("telnet", "ser2net-9600e81-bytewise",
          bytes([3, 0]) + agree + answers(9600, 8, 3, 1) + frame_ff.replace(b"\xff", b"\xff\xff"))
    write("telnet", "115200n81-whole", bytes([200, 1]) + agree + answers(115200, 8, 1, 1))
    # A speed with a 255 in it goes out escaped.
    write("telnet", "speed-with-iac", bytes([0, 3]) + agree + answers(16777471, 5, 5, 1))
    write("telnet", "wrong-speed", bytes([1, 0]) + agree + answers(4800, 8, 3, 1))
    write("telnet", "short-answer", bytes([2, 0]) + agree + sub(bytes([101, 0, 0])))
    write("telnet", "refuses-comport", bytes([0, 0]) + bytes([IAC, DONT, 44]) + b"tail")
    write("telnet", "other-options", bytes([5, 0]) + bytes([IAC, DO, 24, IAC, WILL, 1, IAC, WONT, 1,
                                                            IAC, DO, 24, IAC, 241, IAC, 249]))
    write("telnet", "notices", bytes([4, 0]) + agree + sub(bytes([106, 0x30])) + sub(bytes([107, 0xFF])))
    write("telnet", "endless-sub", bytes([7, 0]) + bytes([IAC, SB, 44, 101]) + bytes(range(1, 255)) * 4)
    write("telnet", "ends-mid-command", bytes([6, 1]) + b"abc" + bytes([IAC, SB, 44, 101, IAC]))
    write("telnet", "doubled-iac-data", bytes([1, 0]) + bytes([IAC, IAC, 0, IAC, IAC, IAC, IAC]))


def simulator_seeds(sim, seconds=3.0, piece=400):
    import select
    import subprocess
    import time
    proc = subprocess.Popen([sim, "--rate", "20", "--baud", "115200", "--seed", "8",
                             "--garbage", "0.3", "--corrupt", "0.1", "--truncate", "0.1"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        path = proc.stdout.readline().strip()
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        import tty
        tty.setraw(fd)
        # Ask for every message the receiver answers, as the program does.
        for t in (0xCA, 0xC6, 0xC4, 0xC3, 0xCB, 0xB7):
            os.write(fd, bytes([t, t, (-2 * t) % 256, 13]))
        os.write(fd, bytes([0xC5, 0xC5, 0x00, 0x76, 13]))
        stream = b""
        end = time.time() + seconds
        while time.time() < end:
            if select.select([fd], [], [], 0.1)[0]:
                stream += os.read(fd, 4096)
        os.close(fd)
    finally:
        proc.terminate()
        proc.wait()
    for i in range(0, len(stream), piece):
        write("framer", f"sim-{i // piece:03d}", bytes([(i // piece * 37) % 256, 0]) + stream[i:i + piece])


if __name__ == "__main__":
    framer_seeds()
    text_seeds()
    ctlinput_seeds()
    telnet_seeds()
    if len(sys.argv) > 1:
        simulator_seeds(sys.argv[1])
    print("seed corpora written under", os.path.join(HERE, "corpus"), file=sys.stderr)
