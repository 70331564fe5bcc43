#include "app/startup.h"

#include "about/abouttexts.h"
#include "about/ui/gpsabout.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/navigate.h"
#include "platform/clock.h"
#include "platform/networkport.h"
#include "platform/qtserialport.h"
#include "platform/quotedtext.h"
#include "platform/selectingserialport.h"
#include "platform/settingsstore.h"
#include "platform/ui/qtmessageboxes.h"
#include "quality/qualitywatch.h"
#include "recording/recordingreader.h"
#include "recording/replaypacer.h"
#include "recording/replayport.h"
#include "recording/ui/recordreplay.h"
#include "share/nmeashare.h"
#include "sim/simulatedport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// The command line of kestrel; built twice, before and after the windowing system is up.
struct Options {
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays version information.")};
    QCommandLineOption port{
        QStringLiteral("port"),
        QStringLiteral("Open DEVICE instead of the saved port (a serial device, "
                       "tcp://HOST:PORT or rfc2217://HOST:PORT)."),
        QStringLiteral("DEVICE")};
    QCommandLineOption simulate{
        QStringLiteral("simulate"),
        QStringLiteral("Open the simulated receiver instead of the saved port.")};
    QCommandLineOption stationary{
        QStringLiteral("static"),
        QStringLiteral("The simulated receiver stands still at LAT,LON,H (decimal degrees, "
                       "metres), its fixes scattered by a few metres, instead of driving a "
                       "circle."),
        QStringLiteral("LAT,LON,H")};
    QCommandLineOption nmeaTcp{
        QStringLiteral("nmea-tcp"),
        QStringLiteral("Serve the receiver as NMEA sentences to programs on this computer at "
                       "127.0.0.1:PORT (instead of the Share as NMEA setting)."),
        QStringLiteral("127.0.0.1:PORT")};
    QCommandLineOption replay{QStringLiteral("replay"),
                              QStringLiteral("Play the recording FILE as the receiver."),
                              QStringLiteral("FILE")};
    QCommandLineOption speed{QStringLiteral("speed"),
                             QStringLiteral("With --replay: play F times as fast, 0.25 to 16, "
                                            "or \"max\" for as fast as possible (default 1)."),
                             QStringLiteral("F"), QStringLiteral("1")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(
            QStringLiteral("Monitor and control a GPS receiver board on a serial port."));
        parser.addHelpOption();
        parser.addOption(version);
        parser.addOption(port);
        parser.addOption(simulate);
        parser.addOption(stationary);
        parser.addOption(nmeaTcp);
        parser.addOption(replay);
        parser.addOption(speed);
    }
};

// --help and --version answer without a display, so they work over ssh and in scripts.
std::optional<int> answerWithoutWindows(int argc, char **argv)
{
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel"));
    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "kestrel: %s\n", qPrintable(commandLineError(parser)));
        return 1;
    }
    if (parser.isSet(options.version)) {
        std::printf("%s\n", qPrintable(programVersionLine(QStringLiteral("kestrel"))));
        return 0;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    return std::nullopt;
}

// --nmea-tcp, or else the saved setting when it is on. A port that cannot be had is
// logged and told on standard error; the program runs on without sharing.
void startNmeaShare(NmeaShare &share, GPS_Main &g, std::optional<LoopbackAddress> address)
{
    if (!address) {
        const NmeaShareSetting s = NmeaShareSetting::load(g.platform().settings);
        if (!s.enabled)
            return;
        address = LoopbackAddress::localHost(s.port);
    }
    QString error;
    if (!share.start(*address, error)) {
        std::fprintf(stderr, "kestrel: %s\n", qPrintable(error));
        g.prependLog(QStringLiteral("ERR: NMEA %1").arg(address->port));
    }
}

} // namespace

std::optional<double> replaySpeedOption(const QString &text)
{
    if (text.trimmed().compare(QLatin1String("max"), Qt::CaseInsensitive) == 0)
        return ReplayPacer::kAsFastAsPossible;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= 0.25) || v > 16)
        return std::nullopt;
    return v;
}

std::unique_ptr<OpenedRecording> openRecordingFile(const QString &path, QString &error)
{
    auto opened = std::make_unique<OpenedRecording>();
    if (!opened->input.open(path)) {
        error =
            QStringLiteral("cannot read %1: %2").arg(quotedPath(path), opened->input.errorString());
        return nullptr;
    }
    if (opened->input.size() > ReplayRecording::kMaxFileBytes) {
        error = replayTooLargeText(path, opened->input.size());
        return nullptr;
    }
    // Only the format line: the rest is read once, by the replay, however it arrives.
    if (!opened->reader.readHeader()) {
        error = QStringLiteral("%1 is not a Kestrel recording that can be played: %2")
                    .arg(quotedPath(path), opened->reader.error());
        return nullptr;
    }
    return opened;
}

int kestrelMain(int argc, char **argv)
{
    if (const std::optional<int> answered = answerWithoutWindows(argc, argv))
        return *answered;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QApplication::setWindowIcon(kestrelIcon());
    // A recording that reaches the user's file size limit is a failed write, told
    // and survived, not a signal that ends the program.
    ::signal(SIGXFSZ, SIG_IGN);

    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);
    if (parser.isSet(options.version)) {
        std::printf("%s\n", qPrintable(programVersionLine(QStringLiteral("kestrel"))));
        return 0;
    }
    const QCommandLineOption &portOption = options.port;
    const QCommandLineOption &simulateOption = options.simulate;
    if (parser.isSet(simulateOption) && parser.isSet(portOption)) {
        std::fprintf(stderr, "kestrel: choose either --port or --simulate\n");
        return 2;
    }

    SimulatorOptions simulated;
    if (parser.isSet(options.stationary)) {
        QString error;
        simulated.stationary = parseStaticPosition(parser.value(options.stationary), error);
        if (!simulated.stationary) {
            std::fprintf(stderr, "kestrel: %s\n", qPrintable(error));
            return 2;
        }
    }

    std::optional<LoopbackAddress> nmeaAddress;
    if (parser.isSet(options.nmeaTcp)) {
        QString error;
        nmeaAddress = parseLoopbackAddress(parser.value(options.nmeaTcp), error);
        if (!nmeaAddress) {
            std::fprintf(stderr, "kestrel: --nmea-tcp: %s\n", qPrintable(error));
            return 2;
        }
    }
    const bool replaying = parser.isSet(options.replay);
    if (replaying && (parser.isSet(simulateOption) || parser.isSet(portOption))) {
        std::fprintf(stderr, "kestrel: --replay plays a recording instead of a port; leave out "
                             "--port and --simulate\n");
        return 2;
    }
    if (parser.isSet(options.speed) && !replaying) {
        std::fprintf(stderr, "kestrel: --speed goes with --replay FILE\n");
        return 2;
    }
    const std::optional<double> speed = replaySpeedOption(parser.value(options.speed));
    if (!speed) {
        std::fprintf(stderr,
                     "kestrel: --speed wants a factor from 0.25 to 16 or \"max\", not "
                     "\"%s\"\n",
                     qPrintable(quotedText(parser.value(options.speed))));
        return 2;
    }
    QString replayError;
    std::unique_ptr<OpenedRecording> recording;
    if (replaying && !(recording = openRecordingFile(parser.value(options.replay), replayError))) {
        std::fprintf(stderr, "kestrel: %s\n", qPrintable(replayError));
        return 1;
    }

    SettingsStore settings(QStringLiteral("Kestrel"));
    QtMessageBoxes boxes;
    Clock clock;
    Platform platform;
    platform.settings = &settings;
    platform.boxes = &boxes;
    platform.clock = &clock;
    platform.endProgram = [](int code) {
        std::fflush(nullptr);
        std::exit(code);
    };

    // A child of the application, so a tool driving the program (the benchmarks'
    // probe) finds the shared state; it still ends before the application does.
    GPS_Main g(platform, &app);
    // Fed before anyone else, so the status line and History see each frame counted.
    QualityWatch quality(g);
    NmeaShare nmea(g);
    g.setNmeaShare(&nmea);
    startNmeaShare(nmea, g, nmeaAddress);

    // The main window comes into being, hidden, the first time the port is needed.
    QPointer<Navigate> navigate;
    auto mscomm = [&]() -> PortKeeper & {
        if (!navigate) {
            // The real port, a receiver on the network, or the simulated receiver when
            // the dialog names it.
            auto serial = std::make_unique<SelectingSerialPort>(std::make_unique<QtSerialPort>());
            addNetworkPort(*serial);
            serial->addDevice(SimulatedPort::deviceName(),
                              std::make_unique<SimulatedPort>(clock, simulated));
            navigate = new Navigate(g, quality, std::move(serial));
            navigate->setAttribute(Qt::WA_DeleteOnClose);
            navigate->Form_Load();
        }
        return navigate->MSComm1();
    };

    Port port(g, mscomm);
    if (replaying) {
        // A recording stands in for the receiver; the saved port stays as it is.
        mscomm();
        navigate->setPortDialog(&port);
        navigate->show();
        navigate->recordReplay().openRecording(std::move(recording), parser.value(options.replay),
                                               *speed);
        return app.exec();
    }
    port.Form_Load(parser.isSet(simulateOption) ? SimulatedPort::deviceName()
                                                : parser.value(portOption));
    navigate->setPortDialog(&port);
    port.exec();
    navigate->show();
    return app.exec();
}
