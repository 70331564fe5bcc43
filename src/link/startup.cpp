#include "startup.h"

#include "about/gpsabout.h"
#include "gpsmain.h"
#include "mainwindow/navigate.h"
#include "platform/clock.h"
#include "platform/qtmessageboxes.h"
#include "platform/qtserialport.h"
#include "platform/settingsstore.h"
#include "platform/simulatedport.h"
#include "portdialog.h"
#include "portkeeper.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <cstdio>
#include <cstdlib>

int KestrelMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QApplication::setWindowIcon(KestrelIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Monitor and control a GPS receiver board on a serial port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Open DEVICE instead of the saved port."),
                                        QStringLiteral("DEVICE"));
    parser.addOption(portOption);
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Open the simulated receiver instead of the saved port."));
    parser.addOption(simulateOption);
    parser.process(app);
    if (parser.isSet(simulateOption) && parser.isSet(portOption)) {
        std::fprintf(stderr, "kestrel: choose either --port or --simulate\n");
        return 2;
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

    // The main window comes into being, hidden, the first time the port is needed.
    QPointer<Navigate> navigate;
    auto mscomm = [&]() -> PortKeeper & {
        if (!navigate) {
            // The real port, or the simulated receiver when the dialog names it.
            auto serial = std::make_unique<SelectingSerialPort>(std::make_unique<QtSerialPort>());
            serial->addDevice(SimulatedPort::deviceName(), std::make_unique<SimulatedPort>(clock));
            navigate = new Navigate(g, std::move(serial));
            navigate->setAttribute(Qt::WA_DeleteOnClose);
            navigate->Form_Load();
        }
        return navigate->MSComm1();
    };

    Port port(g, mscomm);
    port.Form_Load(parser.isSet(simulateOption) ? SimulatedPort::deviceName()
                                                : parser.value(portOption));
    navigate->setPortDialog(&port);
    port.exec();
    navigate->show();
    return app.exec();
}
