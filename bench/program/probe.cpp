// kestrel-probe: the real program (kestrelMain) with a probe that watches it from
// inside, for the whole-program benchmarks. The probe accepts the port dialog at once,
// reports when the main window first paints, can open data windows from the menu,
// and timestamps every navigation update and every log line. Settings by environment:
//   KESTREL_PROBE_T0    CLOCK_MONOTONIC nanoseconds of the launch (start-up time)
//   KESTREL_PROBE_OPEN  menu items to trigger once the window shows, "NavPos,NavRevSat"
//   KESTREL_PROBE_OUT   file for the counts, written when stdin says "quit"
//   KESTREL_PROBE_LATENCY  also the time of every navigation update, into that file
//   KESTREL_PROBE_EXIT_ON_SHOW  end as soon as the main window has painted
//   KESTREL_PROBE_REPLAY_END  with --replay: print "replayed MS ms cpu MS ms peak KB kB
//                       gap MS ms" once the status line says the replay finished (looked
//                       at every 50 ms), the times counted from the main window's first
//                       paint; gap: the longest the event loop did not turn meanwhile
//                       (a 10 ms timer's longest wait beyond its 10 ms)

#include "app/startup.h"
#include "link/gpsmain.h"
#include "widgets/valuetext.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A figure of /proc/self/status in kB: "VmRSS:" now, "VmHWM:" the peak.
long statusKb(const char *key = "VmRSS:")
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

long residentKb()
{
    return statusKb();
}

double cpuMs()
{
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
}

class Probe : public QObject {
public:
    Probe()
    {
        m_appAt = monotonicNs();
        // Timestamps only for the latency figure: the growing list would show as the
        // program's memory growth in the others.
        m_keepTimes = qEnvironmentVariableIsSet("KESTREL_PROBE_LATENCY");
        if (m_keepTimes)
            m_navTimes.reserve(1 << 16);
        // Made while the application object is still being built: no QApplication yet.
        QCoreApplication::instance()->installEventFilter(this);
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Probe::readCommand);
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && o->objectName() == QLatin1String("Port")) {
            m_dialogAt = monotonicNs();
            if (auto *ok = o->findChild<QPushButton *>(QStringLiteral("OKButton")))
                QTimer::singleShot(0, ok, &QPushButton::click);
        }
        if (e->type() == QEvent::Paint && !m_shown && o->objectName() == QLatin1String("Navigate"))
            QTimer::singleShot(0, this, [this, w = static_cast<QWidget *>(o)] { shown(w); });
        return false;
    }

private:
    void shown(QWidget *navigate)
    {
        if (m_shown)
            return;
        m_shown = true;
        const qint64 t0 = qEnvironmentVariable("KESTREL_PROBE_T0").toLongLong();
        const auto since = [t0](qint64 t) { return t0 && t ? (t - t0) / 1e6 : -1.0; };
        // Also when the application object was made and when the port dialog showed.
        timespec cpu{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        std::printf("shown %.3f ms rss %ld kB app %.3f ms dialog %.3f ms cpu %.3f ms\n",
                    since(monotonicNs()), residentKb(), since(m_appAt), since(m_dialogAt),
                    cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6);
        std::fflush(stdout);
        if (qEnvironmentVariableIsSet("KESTREL_PROBE_EXIT_ON_SHOW")) {
            std::fflush(nullptr);
            _exit(0);
        }
        if (auto *box = navigate->findChild<ValueText *>(QStringLiteral("TimeDate")))
            connect(box, &ValueText::textChanged, this, [this] {
                ++m_navUpdates;
                if (m_keepTimes)
                    m_navTimes.push_back(monotonicNs());
            });
        // Every frame and line event puts a line on top of the log.
        if (auto *g = qApp->findChild<GPS_Main *>()) {
            connect(g, &GPS_Main::errorDisChanged, this, [this](const QString &text) {
                ++m_logUpdates;
                if (text.startsWith(QLatin1String("ERR")))
                    ++m_errors;
            });
        }
        const QStringList open =
            qEnvironmentVariable("KESTREL_PROBE_OPEN").split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &name : open)
            if (auto *item = navigate->findChild<QAction *>(name))
                QTimer::singleShot(0, item, &QAction::trigger);
        QTimer::singleShot(0, this, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
        if (qEnvironmentVariableIsSet("KESTREL_PROBE_REPLAY_END"))
            watchReplay();
    }

    void watchReplay()
    {
        auto *g = qApp->findChild<GPS_Main *>();
        if (!g)
            return;
        const qint64 startNs = monotonicNs();
        const double startCpu = cpuMs();
        // What the user feels: how long the window would not have answered.
        auto *tick = new QTimer(this);
        auto lastTickNs = std::make_shared<qint64>(startNs);
        auto longestGapNs = std::make_shared<qint64>(0);
        connect(tick, &QTimer::timeout, this, [=] {
            const qint64 now = monotonicNs();
            *longestGapNs = std::max(*longestGapNs, now - *lastTickNs - 10'000'000);
            *lastTickNs = now;
        });
        tick->setTimerType(Qt::PreciseTimer);
        tick->start(10);
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [=] {
            if (!g->link().activity().contains(QLatin1String(", finished")))
                return;
            poll->stop();
            tick->stop();
            std::printf("replayed %.3f ms cpu %.3f ms peak %ld kB gap %.3f ms\n",
                        double(monotonicNs() - startNs) / 1e6, cpuMs() - startCpu,
                        statusKb("VmHWM:"), double(*longestGapNs) / 1e6);
            std::fflush(stdout);
        });
        poll->start(50);
    }

    void readCommand()
    {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n > 0 && QByteArray(buf, int(n)).contains("quit"))
            finish();
        if (n == 0)
            finish();
    }

    void finish()
    {
        QFile out(qEnvironmentVariable("KESTREL_PROBE_OUT"));
        if (!out.fileName().isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out.write(QByteArray("log_updates ") + QByteArray::number(m_logUpdates) + '\n');
            out.write(QByteArray("log_errors ") + QByteArray::number(m_errors) + '\n');
            out.write(QByteArray("rss_kb ") + QByteArray::number(qint64(residentKb())) + '\n');
            out.write(QByteArray("nav_updates ") + QByteArray::number(m_navUpdates) + '\n');
            for (qint64 t : m_navTimes)
                out.write(QByteArray("nav ") + QByteArray::number(t) + '\n');
            out.close();
        }
        std::fflush(nullptr);
        _exit(0);
    }

    QSocketNotifier *m_stdin = nullptr;
    bool m_shown = false;
    qint64 m_appAt = 0;
    qint64 m_dialogAt = 0;
    std::vector<qint64> m_navTimes;
    qint64 m_logUpdates = 0;
    qint64 m_navUpdates = 0;
    bool m_keepTimes = false;
    qint64 m_errors = 0;
};

void installProbe()
{
    new Probe;
}
Q_COREAPP_STARTUP_FUNCTION(installProbe)

} // namespace

int main(int argc, char **argv)
{
    return kestrelMain(argc, argv);
}
