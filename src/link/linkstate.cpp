#include "link/linkstate.h"

#include "link/messagetypes.h"
#include "platform/clock.h"

namespace {

// A time-out as given: "2", "0.5".
QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'g', 6);
}

} // namespace

QString ageText(qint64 ms)
{
    // Tenths while the age is short enough to be read as live, whole seconds after.
    if (ms < 10000)
        return QString::number(double(qMax<qint64>(ms, 0)) / 1000.0, 'f', 1);
    return QString::number(ms / 1000);
}

LinkState::LinkState(const Clock &clock) : m_clock(clock) {}

qint64 LinkState::now() const
{
    return m_clock.monotonicMs();
}

void LinkState::opened(const QString &port)
{
    m_port = Port::Open;
    m_portName = port;
    m_good = 0;
    m_damaged = 0;
    m_lastNav.reset();
    m_lastFrame.reset();
    m_fixState.reset();
    m_command.clear();
    m_outcome = Outcome::None;
    ++m_opens;
    m_openedAt = now();
    m_reopens = 0;
}

void LinkState::openFailed(const QString &port)
{
    opened(port);
    m_port = Port::NotOpen;
}

void LinkState::closed()
{
    m_port = Port::NotOpen;
}

void LinkState::lost()
{
    m_port = Port::Lost;
}

void LinkState::reopened()
{
    m_port = Port::Reopened;
    ++m_reopens;
    m_reopenedAt = now();
}

void LinkState::frame(quint8 type, bool good)
{
    if (good)
        frame(type, true, now());
    else
        ++m_damaged;
}

void LinkState::frame(quint8 type, bool good, qint64 atMs)
{
    if (!good) {
        ++m_damaged;
        return;
    }
    ++m_good;
    m_lastFrame = atMs;
    if (type == Msg::Navigation)
        m_lastNav = atMs;
    if (m_outcome == Outcome::Sent && type == m_answer && atMs - m_sentAt <= m_answerMs)
        m_outcome = Outcome::Acknowledged;
}

void LinkState::commandSent(const QString &name, quint8 answer)
{
    m_command = name;
    m_outcome = Outcome::Sent;
    m_answer = answer;
    m_sentAt = now();
}

void LinkState::commandNotSent(const QString &name)
{
    m_command = name;
    m_outcome = Outcome::NotSent;
}

std::optional<qint64> LinkState::navAgeMs() const
{
    if (!m_lastNav)
        return std::nullopt;
    return now() - *m_lastNav;
}

bool LinkState::stale() const
{
    const auto age = navAgeMs();
    return age && *age > kStaleMs;
}

void LinkState::navigationFix(int fixState)
{
    m_fixState = fixState & 15;
}

bool LinkState::noFix() const
{
    // 3 is a 2D fix, 4 a 3D fix; the rest count satellites or are not valid at all.
    return m_fixState && *m_fixState != 3 && *m_fixState != 4;
}

std::optional<qint64> LinkState::frameAgeMs() const
{
    if (!m_lastFrame)
        return std::nullopt;
    return now() - *m_lastFrame;
}

bool LinkState::silent() const
{
    const auto age = frameAgeMs();
    return age && *age > kStaleMs;
}

LinkState::Outcome LinkState::outcome() const
{
    if (m_outcome == Outcome::Sent && now() - m_sentAt > m_answerMs)
        return Outcome::NoAnswer;
    return m_outcome;
}

QString LinkState::stateText() const
{
    switch (m_port) {
    case Port::NotOpen:
        return QStringLiteral("Not open");
    case Port::Open:
        return QStringLiteral("Open");
    case Port::Lost:
        return QStringLiteral("Lost \u2014 reopening");
    case Port::Reopened:
        return QStringLiteral("Reopened");
    }
    return {};
}

QString LinkState::portText() const
{
    if (m_portName.isEmpty())
        return stateText();
    return m_portName + QStringLiteral(": ") + stateText();
}

QString LinkState::navText() const
{
    const auto age = navAgeMs();
    if (!age)
        return QStringLiteral("no navigation message yet");
    if (stale())
        return QStringLiteral("no data for %1 s").arg(ageText(*age));
    return QStringLiteral("nav %1 s ago").arg(ageText(*age));
}

QString LinkState::framesText() const
{
    return QStringLiteral("%1 good, %2 damaged frames").arg(m_good).arg(m_damaged);
}

QString LinkState::commandText() const
{
    switch (outcome()) {
    case Outcome::None:
        return {};
    case Outcome::Sent:
        return QStringLiteral("%1 sent").arg(m_command);
    case Outcome::Acknowledged:
        return QStringLiteral("%1 sent, acknowledged").arg(m_command);
    case Outcome::NoAnswer:
        return QStringLiteral("%1 sent, no answer from the receiver in %2 s")
            .arg(m_command)
            .arg(secondsText(m_answerMs));
    case Outcome::NotSent:
        return QStringLiteral("%1 not sent: the port is not open").arg(m_command);
    }
    return {};
}

QString LinkState::text(const QString &fix) const
{
    // What matters most comes first: the line may be cut at the window's edge.
    const bool live = m_port != Port::NotOpen || m_lastNav;
    QStringList parts{stateText()};
    if (!m_activity.isEmpty())
        parts << m_activity;
    if (live)
        parts << navText();
    if (live && noFix())
        parts << QStringLiteral("no fix");
    if (live && !fix.isEmpty())
        parts << fix;
    const QString command = commandText();
    if (!command.isEmpty())
        parts << command;
    if (live)
        parts << framesText();
    if (!m_portName.isEmpty())
        parts << m_portName;
    return parts.join(QStringLiteral("  \u00b7  "));
}
