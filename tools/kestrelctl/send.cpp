// send: one command as the program's menus and windows send it, then its answer.

#include "cli.h"
#include "commands.h"

#include "decoders/formatters.h"
#include "decoders/framedecode.h"
#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/linkstate.h"
#include "link/messagetypes.h"
#include "platform/clock.h"
#include "platform/qtserialport.h"
#include "platform/signalpipe.h"
#include "setup/setupcommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// What to send and which frame type answers it.
struct Plan {
    std::function<void(GPS_Main &)> send;
    quint8 answer = 0;
};

// The requests the program sends without a payload, and the time-stamp request, in
// the order the help lists them.
constexpr Msg::Type kRequests[] = {
    Msg::Navigation, Msg::Condition,  Msg::Diagnosis, Msg::Mode,
    Msg::Satellites, Msg::TimeStamps, Msg::B7,        Msg::Prepare,
};

QLatin1String requestName(Msg::Type type)
{
    return QLatin1String(findMessageType(type)->name);
}

std::optional<quint8> requestType(const QString &text)
{
    for (const Msg::Type t : kRequests)
        if (text.compare(requestName(t), Qt::CaseInsensitive) == 0)
            return t;
    QString hex = text;
    if (hex.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        hex = hex.mid(2);
    bool ok = false;
    const uint v = hex.toUInt(&ok, 16);
    for (const Msg::Type t : kRequests)
        if (ok && hex.size() == 2 && v == t)
            return t;
    return std::nullopt;
}

QString requestTypesText()
{
    QStringList names;
    for (const Msg::Type t : kRequests)
        names << QStringLiteral("%1 (%2)").arg(requestName(t), HexByte(t));
    return names.join(QStringLiteral(", "));
}

} // namespace

int runSend(const QStringList &args)
{
    const QString cmd = QStringLiteral("send");
    SubcommandParser sp(
        cmd, QStringLiteral("COMMAND [ARGS]"),
        QStringLiteral(
            "Sends one command with the same bytes as the program's menus and windows,\n"
            "then waits for the receiver's acknowledgement (or the requested message)\n"
            "and prints it as decode does. Options go before COMMAND.\n"
            "\n"
            "Commands:\n"
            "  request TYPE               ask for a message: navigation, condition,\n"
            "                             diagnosis, mode, satellites, time-stamps, B7, B8\n"
            "                             or its type byte (CA, C6, ...)\n"
            "  set-time now               the computer's local date and time\n"
            "  set-time YY MM DD hh mm ss as typed in Set Time, each a decimal number in\n"
            "                             its range (sent as BCD: 59 is 0x59)\n"
            "  set-position LAT LON       DDMM.mmmm and DDDMM.mmmm as in Set Position,\n"
            "                             negative for south and west\n"
            "  set-height HEIGHT [ACCURACY]  as in Set Height (accuracy 0 if left out)\n"
            "  cold-start                 Set Start Cold Start Fix\n"
            "  reset                      Set System Reset\n"
            "  reset-time-stamps          Set Time Stamp (clears the receiver's stamps)\n"
            "\n"
            "Values the windows refuse are refused here with the same message (status 4);\n"
            "nothing is sent then."));
    QCommandLineParser &p = sp.parser();
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const PortOptions po;
    po.addTo(p);
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds to wait for the answer (default 3)."),
                                     QStringLiteral("SECONDS"), QStringLiteral("3"));
    const QCommandLineOption searchReset(
        QStringLiteral("search-reset"),
        QStringLiteral("request time-stamps: with Search Mode Reset (byte 1) instead of Set."));
    const TimeZoneOption tz;
    const UnitsOption units;
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the answer as one JSON object."));
    p.addOptions({timeout, searchReset, json, tz.option, units.option});
    if (const auto status = sp.parse(args))
        return *status;
    const auto zone = tz.value(cmd, p);
    if (!zone)
        return Exit::Usage;
    const auto shownUnits = units.value(cmd, p);
    if (!shownUnits)
        return Exit::Usage;
    const auto seconds = secondsOption(p, timeout);
    if (!seconds)
        return usageError(cmd, QStringLiteral("--timeout wants a number of seconds above 0"));

    const QStringList pos = p.positionalArguments();
    if (pos.isEmpty())
        return usageError(cmd, QStringLiteral("which command? request, set-time, set-position, "
                                              "set-height, cold-start, reset, reset-time-stamps"));
    const QString what = pos[0];
    const QStringList rest = pos.mid(1);
    const auto wrongCount = [&](const QString &form) {
        return usageError(cmd, QStringLiteral("%1 takes %2").arg(what, form));
    };
    const auto refused = [&](const SetupPayload &s) {
        complain(QStringLiteral("%1 refused: %2 Nothing was sent.").arg(what, s.refusal));
        return Exit::Refused;
    };

    Plan plan;
    if (what == QLatin1String("request")) {
        if (rest.size() != 1)
            return wrongCount(QStringLiteral("one message type"));
        const auto type = requestType(rest[0]);
        if (!type)
            return usageError(cmd, QStringLiteral("no request of type \"%1\"; choose one of %2")
                                       .arg(quotedText(rest[0]), requestTypesText()));
        const quint8 t = *type;
        const bool reset = p.isSet(searchReset);
        plan.answer = t;
        plan.send = [t, reset](GPS_Main &g) {
            if (t == Msg::TimeStamps)
                sendTimeStampRequest(g, reset ? 1 : 0);
            else
                g.SendRequest(t);
        };
    } else if (what == QLatin1String("set-time")) {
        QStringList fields;
        if (rest == QStringList{QStringLiteral("now")})
            fields = setTimeFields(QDateTime::currentDateTime());
        else if (rest.size() == 6)
            fields = rest;
        else
            return wrongCount(QStringLiteral("\"now\" or six fields: YY MM DD hh mm ss"));
        const SetupPayload s = setTimePayload(fields);
        if (!s.ok())
            return refused(s);
        plan = {[s](GPS_Main &g) { sendSetTime(g, s.payload); }, Msg::SetTime};
    } else if (what == QLatin1String("set-position")) {
        if (rest.size() != 2)
            return wrongCount(QStringLiteral("LAT LON as DDMM.mmmm DDDMM.mmmm"));
        const SetupPayload s = setPositionScaledPayload(rest[0], rest[1]);
        if (!s.ok())
            return refused(s);
        plan = {[s](GPS_Main &g) { sendSetPosition(g, s.payload); }, Msg::SetPosition};
    } else if (what == QLatin1String("set-height")) {
        if (rest.size() != 1 && rest.size() != 2)
            return wrongCount(QStringLiteral("HEIGHT and an optional ACCURACY"));
        const SetupPayload s = setHeightPayload(rest[0], rest.value(1, QStringLiteral("0")));
        if (!s.ok())
            return refused(s);
        plan = {[s](GPS_Main &g) { sendSetHeight(g, s.payload); }, Msg::SetHeight};
    } else if (what == QLatin1String("cold-start") || what == QLatin1String("reset")) {
        if (!rest.isEmpty())
            return wrongCount(QStringLiteral("no arguments"));
        const bool reset = what == QLatin1String("reset");
        plan = {[reset](GPS_Main &g) { reset ? sendSystemReset(g) : sendColdStart(g); },
                reset ? Msg::SystemReset : Msg::ColdStart};
    } else if (what == QLatin1String("reset-time-stamps")) {
        if (!rest.isEmpty())
            return wrongCount(QStringLiteral("no arguments"));
        plan = {[](GPS_Main &g) { sendTimeStampReset(g); }, Msg::SetTime};
    } else {
        return usageError(cmd, QStringLiteral("unknown command \"%1\"").arg(quotedText(what)));
    }

    int status = Exit::Ok;
    auto port = openPort(cmd, p, po, status);
    if (!port)
        return status;

    Platform platform;
    GPS_Main g(platform);
    g.setPort(port.get());
    bool written = true;
    QObject::connect(&g, &GPS_Main::errorDisChanged, [&](const QString &) { written = false; });

    // The wait for the answer is the one the program's status line makes.
    const Clock clock;
    LinkState link(clock);
    link.opened(port->device());
    link.setAnswerMs(qint64(*seconds * 1000));
    FrameDecoder decoder(*zone);
    decoder.setUnits(*shownUnits);
    status = Exit::TimedOut;
    QObject::connect(port.get(), &SerialPort::received, [&](const QByteArray &bytes) {
        for (const DecodedFrame &f : decoder.feed(bytes)) {
            if (f.bytes.isEmpty())
                continue;
            const bool waiting = link.outcome() == LinkState::Outcome::Sent;
            link.frame(quint8(f.bytes[0]), f.good);
            if (!waiting || link.outcome() != LinkState::Outcome::Acknowledged)
                continue;
            const QByteArray out = p.isSet(json) ? frameJson(f) + '\n' : frameText(f).toUtf8();
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            std::fflush(stdout);
            status = Exit::Ok;
            QCoreApplication::quit();
        }
    });
    QObject::connect(port.get(), &SerialPort::lost, [&] {
        complain(QStringLiteral("%1 went away").arg(quotedPath(port->device())));
        status = Exit::Failed;
        QCoreApplication::quit();
    });

    // Before anything is sent: an interruption from then on is told as one.
    quitOnSignals();
    plan.send(g);
    link.commandSent(what, plan.answer);
    if (!written) {
        complain(QStringLiteral("cannot write to %1: %2")
                     .arg(quotedPath(port->device()), port->errorString()));
        return Exit::Failed;
    }
    QTimer::singleShot(int(*seconds * 1000), QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    if (const int signal = takeTerminationSignal(); signal && status == Exit::TimedOut) {
        complain(
            QStringLiteral("interrupted before the answer (%1) came from the receiver on %2")
                .arg(QStringLiteral("CMD: ") + HexByte(plan.answer), quotedPath(port->device())));
        return Exit::Interrupted + signal;
    }
    if (status == Exit::TimedOut)
        complain(QStringLiteral("no answer (%1) from the receiver on %2 within %3 s. Is it "
                                "connected and powered, and are the line settings %4 right?")
                     .arg(QStringLiteral("CMD: ") + HexByte(plan.answer),
                          quotedPath(port->device()), QString::number(*seconds), port->Settings()));
    return status;
}
