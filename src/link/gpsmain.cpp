#include "gpsmain.h"

#include "decoders/formatters.h"
#include "encoder.h"
#include "framer.h"
#include "platform/serialport.h"

namespace {
constexpr qsizetype kLogCut = 100;
// Line events alone never cut the log; without a frame to cut it, a storm of
// them (noise at a wrong line speed) would grow it without end. Far more than
// the box shows, far less than would matter.
constexpr qsizetype kLogCeiling = 4096;

// The commands the receiver acknowledges with a frame of their own type, by the name
// the user knows them by. Type 0xB2 with a one-byte payload resets the time stamps.
QString acknowledgedCommand(const QByteArray &frame)
{
    switch (quint8(frame.at(0))) {
    case 0xB0:
        return QStringLiteral("Set Position");
    case 0xB1:
        return QStringLiteral("Set Height");
    case 0xB2:
        return frame.size() == 5 ? QStringLiteral("Reset Time Stamps") : QStringLiteral("Set Time");
    case 0xB6:
        return QStringLiteral("System Reset");
    case 0xB9:
        return QStringLiteral("Cold Start Fix");
    }
    return {};
}

} // namespace

GPS_Main::GPS_Main(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform), m_link(platform.clock ? *platform.clock : m_ownClock)
{
    FillMsgTable(*this);
}

bool GPS_Main::SendRequest(int command, const void *owner)
{
    return write(RequestFrame(command), owner);
}

bool GPS_Main::SendCommand(int command, const void *owner)
{
    return write(CommandFrame(command, CmdBuffer), owner);
}

bool GPS_Main::write(const QByteArray &frame, const void *owner)
{
    const QString command = acknowledgedCommand(frame);
    if (!m_port || !m_port->PortOpen() || !m_port->Output(frame, owner)) {
        prependLog(QStringLiteral("ERR: NotOpen"));
        if (!command.isEmpty())
            m_link.commandNotSent(command);
        return false;
    }
    if (!command.isEmpty())
        m_link.commandSent(command, quint8(frame.at(0)));
    emit frameSent(frame);
    return true;
}

bool GPS_Main::sending(const void *owner) const
{
    return m_port && m_port->PortOpen() && m_port->outputPending(owner);
}

void GPS_Main::dropWaiting(const void *owner)
{
    if (m_port)
        m_port->dropWaiting(owner);
}

bool GPS_Main::portOpen() const
{
    return m_port && m_port->PortOpen();
}

void GPS_Main::OnReceive(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
    qsizetype left = bytes.size();
    while (left > 0) {
        FrameStep step = FrameStep::NeedMore;
        const qsizetype taken = FramerScan(*this, data, left, step);
        data += taken;
        left -= taken;
        if (step == FrameStep::NeedMore)
            continue;
        m_link.frame(MsgType, step == FrameStep::FrameGood);
        if (step == FrameStep::FrameGood)
            DispatchFrame(*this);
        logFrame(FrameLogLine(*this, step));
    }
}

void GPS_Main::OnCommEvent(int code)
{
    if (code == CommEvent::Receive)
        return;
    prependLog(LineEventText(code));
    if (code == CommEvent::RxOver) {
        HuntingHeader = true;
        InBody = false;
    }
}

void GPS_Main::prependLog(const QString &line)
{
    prepend(line, kLogCeiling);
}

void GPS_Main::logFrame(const QString &line)
{
    prepend(line, kLogCut);
}

void GPS_Main::prepend(const QString &line, qsizetype limit)
{
    QString text;
    text.reserve(std::min(line.size() + 2 + m_errorDis.size(), limit));
    text.append(line).append(QLatin1String("\r\n")).append(m_errorDis);
    text.truncate(limit);
    m_errorDis = std::move(text);
    emit errorDisChanged(m_errorDis);
}
