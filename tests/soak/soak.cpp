// kestrel_soak: the program with every window open (offscreen) against the simulated
// receiver at 115,200 bits per second with noise, corrupted and truncated frames, for
// a given time. At the end it holds what the program decoded against what the receiver
// sent and reports frames sent intact, decoded, damaged and logged, lost and phantom
// frames, and the growth of resident memory after the warm-up.
//
// The receiver runs as a second process of this same program (--receiver), on its
// own pseudo-terminal, so that its bookkeeping is not counted in the program's memory.
// On "start" from its standard input it begins its messages; on "quiet" it stops
// them, lets the line drain and prints its record; its terminal stays open until
// "exit", so nothing sent is lost by closing it.
#include "decoders/ui/autorefresh.h"
#include "decoders/ui/conditionwindow.h"
#include "decoders/ui/timestampwindow.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "platform/clock.h"
#include "platform/ptylink.h"
#include "platform/qtserialport.h"
#include "quality/messagelog.h"
#include "quality/qualitywatch.h"
#include "quality/ui/messageswindow.h"
#include "quality/ui/scatterwindow.h"
#include "sim/simulatedport.h"
#include "sim/simulator.h"
#include "testplatform.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kBaud = 115200;

double cpuSeconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

// What malloc holds: the bytes in use by the program and the freed bytes it keeps
// rather than giving back. Growth of the second is fragmentation, not a leak.
struct HeapFigures {
    qint64 inUse = 0;
    qint64 heldFree = 0;
};

HeapFigures heapFigures()
{
    const struct mallinfo2 m = ::mallinfo2();
    return {qint64(m.uordblks + m.hblkhd), qint64(m.fordblks)};
}

void out(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The receiver side: the simulator on a pseudo-terminal, driven by commands on stdin.
int runReceiver(const SimulatorOptions &options)
{
    PtyLink pty;
    if (!pty.open()) {
        std::fprintf(stderr, "kestrel_soak: no pseudo-terminal: %s\n",
                     qPrintable(pty.errorString()));
        return 1;
    }
    Clock clock;
    Simulator sim(clock, options);
    SimulatorLine line(sim, clock);
    line.setLineSettings(LineSettings{kBaud, 'e', 8, 1});
    QObject::connect(&pty, &PtyLink::received, &line, &SimulatorLine::input);
    QObject::connect(&line, &SimulatorLine::output, &pty,
                     [&](const QByteArray &bytes) { pty.write(bytes); });
    // Messages start on "start", once the program has the terminal open: bytes sent
    // before that are the terminal's, not the program's, to lose.
    out(pty.slavePath());

    QTimer drained;
    drained.setInterval(20);
    QObject::connect(&drained, &QTimer::timeout, [&] {
        if (sim.pending() > 0)
            return;
        drained.stop();
        QByteArray intact;
        for (const SentFrame &f : sim.record().frames)
            if (f.kind == SentFrame::Kind::Intact)
                intact.append(char(f.type));
        out(QStringLiteral("record %1 %2 %3")
                .arg(QString::fromLatin1(intact.isEmpty() ? QByteArray("-") : intact.toHex()))
                .arg(sim.record().damaged())
                .arg(sim.record().garbageBytes));
    });
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buf[64];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        const QByteArray cmd = n > 0 ? QByteArray(buf, n).trimmed() : QByteArray("exit");
        if (cmd == "start") {
            line.start();
        } else if (cmd == "quiet") {
            sim.setIntervalMs(0);
            drained.start();
        } else {
            commands.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}

struct Counts {
    // The type bytes of the good frames, in order, kept in a file: a two-hour run
    // decodes some 150,000 frames, and holding them here would add to the very
    // memory growth the soak measures.
    QTemporaryFile decoded;
    int damagedLogged = 0;
    int lineEvents = 0;
};

int runProgram(double minutes, bool everyMinute, const QStringList &receiverArgs)
{
    QProcess receiver;
    receiver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    receiver.start(QCoreApplication::applicationFilePath(), receiverArgs);
    if (!receiver.waitForStarted() || !receiver.waitForReadyRead(10000)) {
        std::fprintf(stderr, "kestrel_soak: the receiver did not start\n");
        return 1;
    }
    const QString device = QString::fromLocal8Bit(receiver.readLine().trimmed());

    TestPlatform tp; // settings in a temporary folder, message boxes answered at once
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    Counts counts;
    if (!counts.decoded.open()) {
        std::fprintf(stderr, "kestrel_soak: cannot make a temporary file\n");
        return 1;
    }
    QObject::connect(&g, &GPS_Main::errorDisChanged, [&](const QString &log) {
        const QString line = log.left(log.indexOf(QLatin1String("\r\n")));
        if (line.startsWith(QLatin1String("CMD: "))) {
            counts.decoded.putChar(char(line.mid(5).toInt(nullptr, 16)));
        } else if (line == QLatin1String("ERR: CkSum"))
            ++counts.damagedLogged;
        else
            ++counts.lineEvents;
    });

    auto *nav = new Navigate(g, quality, std::make_unique<QtSerialPort>());
    nav->setAttribute(Qt::WA_DeleteOnClose, false);
    nav->Form_Load();
    nav->MSComm1().port().setDevice(device);
    nav->MSComm1().port().setSettings(QStringLiteral("%1,e,8,1").arg(kBaud));
    if (!nav->MSComm1().open()) {
        std::fprintf(stderr, "kestrel_soak: cannot open %s\n", qPrintable(device));
        return 1;
    }
    receiver.write("start\n");
    nav->show();
    // Every data window open, the two with a timer asking twice a second.
    for (const char *item : {"NavCond", "NavDiag", "NavPos", "NavMode", "NavRevSat", "NavStamp",
                             "NavLevels", "NavHistory", "NavScatter", "NavMessages"})
        nav->menuItem(QString::fromLatin1(item))->trigger();
    auto *condition =
        static_cast<ConditionWindow *>(nav->dataWindows().window(DataWindow::Condition));
    auto *stamp = static_cast<TimeStampWindow *>(nav->dataWindows().window(DataWindow::TimeStamp));
    for (QWidget *w : {static_cast<QWidget *>(condition), static_cast<QWidget *>(stamp)}) {
        w->findChild<QLineEdit *>(QStringLiteral("AutoRefresh"))->setText(QStringLiteral("0.5"));
        w->findChild<QPushButton *>(QStringLiteral("Auto"))->click();
    }

    const qint64 runMs = qint64(minutes * 60000);
    // Memory is judged once every bounded store is full: History keeps ten minutes,
    // Position Scatter its newest fixes, Messages its newest rows. A long run's warm-up
    // lasts until all three have begun to drop; a short one's is a fixed minute at most.
    const bool longRun = runMs >= 60 * 60000;
    auto *scatter = static_cast<ScatterWindow *>(nav->dataWindows().window(DataWindow::Scatter));
    auto *messages = static_cast<MessagesWindow *>(nav->dataWindows().window(DataWindow::Messages));
    const auto storesFull = [&] {
        return scatter->statistics().dropped() > 0 && messages->log()->dropped() > 0;
    };
    qint64 warmUpMs = longRun ? runMs : std::min<qint64>(60000, runMs / 3);
    qint64 rssWarm = -1, rssMax = 0, rssEnd = 0;
    HeapFigures heapWarm, heapEnd;
    QList<double> cpuPerMinute; // the program's CPU seconds in each whole minute
    double cpuAtMinute = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    // A loop of its own: quitting the application would close every window first.
    QEventLoop run;
    QTimer sample;
    sample.setInterval(1000);
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const qint64 rss = residentBytes();
        // Whole minutes, so the CPU minutes after it are whole too.
        if (longRun && warmUpMs == runMs && clock.elapsed() >= 12 * 60000 && storesFull())
            warmUpMs = (clock.elapsed() / 60000 + 1) * 60000;
        if (clock.elapsed() >= warmUpMs && rssWarm < 0) {
            rssWarm = rss;
            heapWarm = heapFigures();
        }
        rssMax = std::max(rssMax, rss);
        rssEnd = rss;
        heapEnd = heapFigures();
        if (clock.elapsed() >= (cpuPerMinute.size() + 1) * 60000) {
            const double now = cpuSeconds();
            cpuPerMinute << now - cpuAtMinute;
            if (everyMinute)
                std::fprintf(stderr,
                             "minute %lld: resident %lld KiB, malloc in use %lld KiB, held free "
                             "%lld KiB, CPU %.2f s\n",
                             qint64(cpuPerMinute.size()), rss / 1024, heapEnd.inUse / 1024,
                             heapEnd.heldFree / 1024, cpuPerMinute.last());
            cpuAtMinute = now;
        }
        if (clock.elapsed() >= runMs)
            run.quit();
    });
    sample.start();
    run.exec();
    sample.stop();

    // No more requests; the receiver falls quiet and drains, the program reads the rest.
    condition->autoRefresh().stop();
    stamp->autoRefresh().stop();
    receiver.write("quiet\n");
    QByteArray record;
    QElapsedTimer wait;
    wait.start();
    while (!record.startsWith("record") && wait.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (receiver.canReadLine())
            record = receiver.readLine().trimmed();
    }
    const QList<QByteArray> parts = record.split(' ');
    const QByteArray intact =
        parts.size() != 4 || parts[1] == "-" ? QByteArray() : QByteArray::fromHex(parts[1]);
    // The receiver has written everything; the program reads what is still in the
    // terminal's buffer. A busy machine may take seconds for that, so wait until the
    // program has as many frames as were sent and nothing more comes for half a second
    // (phantoms would show there), or until nothing has come for five seconds.
    QElapsedTimer drain, still;
    drain.start();
    still.start();
    qsizetype seen = counts.decoded.pos();
    while (drain.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (counts.decoded.pos() != seen) {
            seen = counts.decoded.pos();
            still.restart();
        }
        if (still.elapsed() >= (seen >= intact.size() ? 500 : 5000))
            break;
    }
    receiver.write("exit\n");
    receiver.waitForFinished(5000);
    nav->close();
    delete nav;

    if (parts.size() != 4) {
        std::fprintf(stderr, "kestrel_soak: no record from the receiver\n");
        return 1;
    }
    const int damagedSent = parts[2].toInt();

    counts.decoded.seek(0);
    const QByteArray decoded = counts.decoded.readAll();
    // Per type: intact frames the program did not decode are lost, decoded frames the
    // receiver never sent intact are phantoms.
    std::map<int, int> balance;
    for (const char t : intact)
        ++balance[quint8(t)];
    for (const char t : decoded)
        --balance[quint8(t)];
    int lost = 0, phantom = 0;
    QStringList perType;
    for (const auto &[type, diff] : balance) {
        lost += std::max(0, diff);
        phantom += std::max(0, -diff);
        perType << QStringLiteral("%1:%2")
                       .arg(type, 2, 16, QLatin1Char('0'))
                       .arg(int(intact.count(char(type))));
    }
    const bool sameOrder = intact == decoded;
    qsizetype firstDifference = 0;
    while (firstDifference < std::min(intact.size(), decoded.size()) &&
           intact[firstDifference] == decoded[firstDifference])
        ++firstDifference;
    // A long run whose stores never filled has nothing to judge: it fails.
    const bool warmedUp = rssWarm >= 0;
    if (!warmedUp) {
        rssWarm = rssEnd;
        heapWarm = heapEnd;
    }
    const qint64 growth = rssEnd - rssWarm;
    const double hoursAfterWarmUp = std::max(1e-9, double(runMs - warmUpMs) / 3600000.0);
    // Long runs are judged by the rate (under 1 MB an hour) and by CPU a minute staying
    // within 10 % of the first minutes after the warm-up; short ones by growth alone.
    auto meanOf = [&](qsizetype from, qsizetype count) {
        double sum = 0;
        for (qsizetype i = from; i < from + count; ++i)
            sum += cpuPerMinute[i];
        return count > 0 ? sum / double(count) : 0.0;
    };
    const qsizetype firstMinute = warmUpMs / 60000;
    const qsizetype span = std::min<qsizetype>(10, (cpuPerMinute.size() - firstMinute) / 2);
    const double cpuFirst = span > 0 ? meanOf(firstMinute, span) : 0;
    const double cpuLast = span > 0 ? meanOf(cpuPerMinute.size() - span, span) : 0;
    const bool cpuFlat = !longRun || (span > 0 && std::abs(cpuLast - cpuFirst) <= 0.1 * cpuFirst);
    const bool memoryFlat =
        warmedUp &&
        (longRun ? double(growth) / hoursAfterWarmUp < 1024.0 * 1024.0 : growth < 2 * 1024 * 1024);

    out(QStringLiteral("soak: %1 min at %2 bit/s, every window open").arg(minutes).arg(kBaud));
    out(QStringLiteral("frames sent intact:     %1 (%2)")
            .arg(intact.size())
            .arg(perType.join(' ')));
    out(QStringLiteral("frames decoded:         %1%2")
            .arg(decoded.size())
            .arg(sameOrder ? QStringLiteral(", in the order sent")
                           : QStringLiteral(", ORDER DIFFERS from frame %1 of %2")
                                 .arg(firstDifference + 1)
                                 .arg(intact.size())));
    out(QStringLiteral("damaged frames sent:    %1").arg(damagedSent));
    out(QStringLiteral("damaged frames logged:  %1").arg(counts.damagedLogged));
    out(QStringLiteral("noise bytes sent:       %1").arg(QString::fromLatin1(parts[3])));
    out(QStringLiteral("other log lines:        %1").arg(counts.lineEvents));
    out(QStringLiteral("frames lost:            %1").arg(lost));
    out(QStringLiteral("phantom frames:         %1").arg(phantom));
    out(QStringLiteral("resident memory:        %1 KiB after warm-up (%2 s), %3 KiB at the end, "
                       "%4 KiB at most; growth %5 KiB")
            .arg(rssWarm / 1024)
            .arg(warmUpMs / 1000)
            .arg(rssEnd / 1024)
            .arg(rssMax / 1024)
            .arg(growth / 1024));
    out(QStringLiteral("malloc:                 %1 KiB in use and %2 KiB held free after warm-up, "
                       "%3 and %4 KiB at the end")
            .arg(heapWarm.inUse / 1024)
            .arg(heapWarm.heldFree / 1024)
            .arg(heapEnd.inUse / 1024)
            .arg(heapEnd.heldFree / 1024));
    if (!warmedUp)
        out(QStringLiteral("warm-up:                not over: Position Scatter or Messages never "
                           "began to drop their oldest"));
    if (longRun) {
        out(QStringLiteral("memory growth rate:     %1 KiB/h after the warm-up")
                .arg(double(growth) / 1024.0 / hoursAfterWarmUp, 0, 'f', 0));
        out(QStringLiteral("CPU a minute:           %1 s in the %2 minutes after the warm-up, "
                           "%3 s in the last %2; %4 s at most")
                .arg(cpuFirst, 0, 'f', 2)
                .arg(span)
                .arg(cpuLast, 0, 'f', 2)
                .arg(
                    cpuPerMinute.size() <= firstMinute
                        ? 0.0
                        : *std::max_element(cpuPerMinute.begin() + firstMinute, cpuPerMinute.end()),
                    0, 'f', 2));
        QStringList minutes;
        for (const double c : cpuPerMinute)
            minutes << QString::number(c, 'f', 2);
        out(QStringLiteral("CPU each minute:        %1").arg(minutes.join(' ')));
    }

    const bool ok = lost == 0 && phantom == 0 && sameOrder && damagedSent == counts.damagedLogged &&
                    !intact.isEmpty() && memoryFlat && cpuFlat;
    out(ok ? QStringLiteral("soak: PASS") : QStringLiteral("soak: FAIL"));
    return ok ? 0 : 1;
}

// The offscreen platform's notes about window operations it does not have say
// nothing about the program; everything else is passed on.
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietOffscreen);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Soak test of Kestrel against the simulated receiver."));
    parser.addHelpOption();
    const QCommandLineOption minutesOption(QStringLiteral("minutes"), QStringLiteral("Run time."),
                                           QStringLiteral("MINUTES"), QStringLiteral("2"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"), QStringLiteral("Navigation and satellite messages a second."),
        QStringLiteral("HZ"), QStringLiteral("10"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Fault seed."),
                                        QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption everyMinuteOption(
        QStringLiteral("every-minute"),
        QStringLiteral("Print resident memory, malloc's figures and CPU each minute."));
    const QCommandLineOption receiverOption(QStringLiteral("receiver"),
                                            QStringLiteral("Run as the simulated receiver."));
    parser.addOptions({minutesOption, rateOption, seedOption, everyMinuteOption, receiverOption});
    parser.process(app);

    const double rate = parser.value(rateOption).toDouble();
    if (parser.isSet(receiverOption)) {
        SimulatorOptions options;
        options.intervalMs = rate > 0 ? std::max(10, int(1000.0 / rate + 0.5)) : 0;
        options.seed = parser.value(seedOption).toUInt();
        options.garbageRate = 0.2;
        options.corruptRate = 0.05;
        options.truncateRate = 0.05;
        return runReceiver(options);
    }
    bool ok = false;
    const double minutes = parser.value(minutesOption).toDouble(&ok);
    if (!ok || minutes <= 0 || rate <= 0) {
        std::fprintf(stderr, "kestrel_soak: --minutes and --rate want positive numbers\n");
        return 2;
    }
    return runProgram(minutes, parser.isSet(everyMinuteOption),
                      {QStringLiteral("--receiver"), QStringLiteral("--rate"),
                       parser.value(rateOption), QStringLiteral("--seed"),
                       parser.value(seedOption)});
}
