// kestrel-feed: the simulated receiver's messages on a pseudo-terminal, paced for the
// whole-program benchmarks. Prints the terminal's path, waits for "go" on stdin, then
// sends and reports what it sent on stdout. Modes:
//   latency N GAP_MS   N navigation frames, one every GAP_MS, each timestamped
//                      (CLOCK_MONOTONIC) right after the write returns
//   stream BAUD RATE SECONDS
//                      navigation and satellite frames for SECONDS: RATE of each a
//                      second, or back to back when RATE is 0, never faster than the
//                      line (BAUD at 8 data bits, even parity, 1 stop bit: 11 bits a byte)

#include "streams.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepNs(qint64 ns)
{
    if (ns <= 0)
        return;
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    nanosleep(&ts, nullptr);
}

bool writeAll(int fd, const char *data, qsizetype n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                sleepNs(100000);
                continue;
            }
            return false;
        }
        data += w;
        n -= w;
    }
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: kestrel-feed latency N GAP_MS | stream BAUD RATE SECONDS\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    if ((mode == "latency" && argc != 4) || (mode == "stream" && argc != 5) ||
        (mode != "latency" && mode != "stream"))
        return usage();

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    // Raw, so the terminal passes every byte as it is until the program sets it up.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    std::printf("%s\n", name);
    std::fflush(stdout);

    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin) || std::strncmp(line, "go", 2) != 0)
        return 1;
    // The program holds the terminal open now; our own end of it can go.
    ::close(slave);

    if (mode == "latency") {
        const int n = std::atoi(argv[2]);
        const qint64 gap = qint64(std::atof(argv[3]) * 1e6);
        std::vector<qint64> sent;
        sent.reserve(size_t(n));
        // A second of the receiver's time per message, so each shows a new time.
        BenchReceiver rx(1000);
        for (int i = 0; i < n; ++i, rx.next()) {
            const QByteArray f = rx.navigation();
            if (!writeAll(master, f.constData(), f.size()))
                return 1;
            sent.push_back(monotonicNs());
            sleepNs(gap);
        }
        for (qint64 s : sent)
            std::printf("sent %lld\n", static_cast<long long>(s));
        std::printf("frames %d\n", n);
    } else {
        const double bytesPerSecond = std::atof(argv[2]) / 11.0;
        const double rate = std::atof(argv[3]);
        const double seconds = std::atof(argv[4]);
        const qint64 start = monotonicNs();
        const qint64 end = start + qint64(seconds * 1e9);
        QByteArray queue;
        // Each queued frame: its length and how much of it is still to be sent.
        std::deque<std::pair<qsizetype, qsizetype>> queued;
        qint64 lineBytes = 0; // bytes the line has carried since the start
        qint64 sentFrames = 0, step = 0;
        qint64 nextPair = start;
        // The receiver's time moves on a tenth of a second per pair, as at 10 Hz.
        BenchReceiver rx(100);
        const auto enqueue = [&] {
            for (const QByteArray &f : {rx.navigation(), rx.satellites()}) {
                queue += f;
                queued.emplace_back(f.size(), f.size());
            }
            rx.next();
            ++step;
        };
        const auto send = [&](qsizetype n) {
            if (!writeAll(master, queue.constData(), n))
                std::exit(1);
            queue.remove(0, n);
            lineBytes += n;
            while (n > 0) {
                const qsizetype part = std::min(n, queued.front().second);
                queued.front().second -= part;
                n -= part;
                if (queued.front().second == 0) {
                    queued.pop_front();
                    ++sentFrames;
                }
            }
        };
        for (qint64 now = start; now < end; now = monotonicNs()) {
            if (rate > 0) {
                for (; nextPair <= now; nextPair += qint64(1e9 / rate))
                    enqueue();
            } else {
                while (queue.size() < 4096)
                    enqueue();
            }
            const qint64 allowed = qint64((now - start) / 1e9 * bytesPerSecond) - lineBytes;
            const qsizetype n = qsizetype(std::min<qint64>(allowed, queue.size()));
            if (n > 0)
                send(n);
            sleepNs(1000000);
        }
        // A frame half on the line is finished, so the program is sent whole frames only.
        if (!queued.empty() && queued.front().second < queued.front().first)
            send(queued.front().second);
        std::printf("frames %lld\nbytes %lld\nseconds %.3f\n", static_cast<long long>(sentFrames),
                    static_cast<long long>(lineBytes), (monotonicNs() - start) / 1e9);
    }
    std::fflush(stdout);
    // Hold the line open until told (or until the harness closes our input), so the
    // program reads everything that was sent.
    if (!std::fgets(line, sizeof line, stdin) && std::ferror(stdin))
        std::perror("kestrel-feed: reading the release");
    return 0;
}
