#include "recording/replayport.h"

#include "link/framer.h"
#include "platform/clock.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {
constexpr int kStepMs = 10;
// Wall time a step may make up for after a stall, so a late step does not burst.
constexpr qint64 kMaxCatchUpMs = 250;
} // namespace

QString ReplayPort::deviceName()
{
    return QStringLiteral("Recorded receiver");
}

const QList<double> &ReplayPort::speeds()
{
    static const QList<double> list{0.25, 0.5, 1, 2, 4, 8, 16, ReplayPacer::kAsFastAsPossible};
    return list;
}

ReplayPort::ReplayPort(const Clock &clock, QObject *parent) : SerialPort(parent), m_clock(clock)
{
    m_timer.setInterval(kStepMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplayPort::pump);
}

namespace {

// The code of a line event as the recorder wrote it, «1500 ms: ERR: Break»; 0 for
// any other comment.
int lineEvent(const QString &comment, qint64 &timeMs)
{
    static const int codes[] = {CommEvent::Break,  CommEvent::Frame,    CommEvent::Overrun,
                                CommEvent::RxOver, CommEvent::RxParity, CommEvent::TxFull,
                                CommEvent::Dcb,    CommEvent::Cd,       CommEvent::Cts,
                                CommEvent::Dsr,    CommEvent::Ring,     CommEvent::Send,
                                CommEvent::Eof};
    const qsizetype mark = comment.indexOf(QLatin1String(" ms: "));
    bool ok = false;
    timeMs = mark > 0 ? comment.left(mark).toLongLong(&ok) : -1;
    if (!ok || timeMs < 0)
        return 0;
    const QStringView text = QStringView(comment).mid(mark + 5);
    for (int code : codes)
        if (text == lineEventText(code))
            return code;
    return 0;
}

} // namespace

void ReplayPort::load(const RecordingContents &recording, const QString &name)
{
    close();
    m_chunks.clear();
    m_items.clear();
    // Each event goes after the lines of its time and before later ones.
    QList<std::pair<qint64, int>> events;
    for (const QString &c : recording.comments) {
        qint64 ms = 0;
        if (const int code = lineEvent(c, ms))
            events.append({ms, code});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    qsizetype e = 0;
    const auto eventsUpTo = [&](qint64 ms) {
        for (; e < events.size() && events[e].first <= ms; ++e) {
            m_chunks.append(RecordedChunk{events[e].first, QByteArray()});
            m_items.append(Item{QByteArray(), events[e].second});
        }
    };
    for (const RecordedChunk &c : recording.chunks) {
        eventsUpTo(c.timeMs - 1);
        m_chunks.append(c);
        m_items.append(Item{c.bytes, 0});
    }
    eventsUpTo(std::numeric_limits<qint64>::max());
    m_name = name;
    m_pacer = ReplayPacer(m_chunks, m_pacer.speed());
}

bool ReplayPort::open()
{
    close();
    if (!loaded()) {
        m_error = QStringLiteral("no recording is loaded (File, Open Recording...)");
        return false;
    }
    m_error.clear();
    m_pacer = ReplayPacer(m_chunks, m_pacer.speed());
    m_lastMs = -1;
    m_open = true;
    m_timer.start();
    emit progressed();
    return true;
}

void ReplayPort::close()
{
    m_timer.stop();
    m_open = false;
}

bool ReplayPort::Output(const QByteArray &bytes, const void *owner)
{
    Q_UNUSED(owner);
    if (!m_open)
        return false;
    emit outputIgnored(bytes);
    return true;
}

void ReplayPort::setPaused(bool paused)
{
    m_paused = paused;
    // Play time counts from here, not from the last step before the pause.
    m_lastMs = m_clock.monotonicMs();
    emit progressed();
}

void ReplayPort::setSpeed(double speed)
{
    m_pacer.setSpeed(speed);
    emit progressed();
}

void ReplayPort::seek(qint64 positionMs)
{
    m_pacer.seek(positionMs);
    m_lastMs = m_clock.monotonicMs();
    emit progressed();
}

void ReplayPort::pump()
{
    if (!m_open || m_paused || m_pacer.finished())
        return;
    const qint64 now = m_clock.monotonicMs();
    const qint64 elapsed = m_lastMs < 0 ? 0 : std::clamp<qint64>(now - m_lastMs, 0, kMaxCatchUpMs);
    m_lastMs = now;
    const qint64 before = m_pacer.positionMs();
    const qsizetype from = m_pacer.nextLine();
    m_pacer.advance(elapsed);
    // Line by line, each at its recorded time: a step may hand on many seconds of
    // the recording, and every frame is timed by the line that completed it.
    for (qsizetype i = from; i < m_pacer.nextLine(); ++i) {
        m_handingMs = m_chunks[i].timeMs;
        if (m_items[i].event)
            emit commEvent(m_items[i].event);
        else if (!m_items[i].bytes.isEmpty())
            emit received(m_items[i].bytes);
    }
    m_handingMs = -1;
    if (m_pacer.positionMs() != before || m_pacer.finished())
        emit progressed();
}

qint64 ReplayPort::recordingTimeMs() const
{
    if (m_handingMs >= 0)
        return m_handingMs;
    return m_chunks.isEmpty() ? 0 : m_chunks.first().timeMs + m_pacer.positionMs();
}

QString ReplayPort::statusText() const
{
    if (!m_open)
        return {};
    QString text = QStringLiteral("Replay %1 %2 of %3, %4")
                       .arg(m_name, replayTimeText(positionMs()), replayTimeText(durationMs()),
                            replaySpeedText(speed()));
    if (m_pacer.finished())
        text += QStringLiteral(", finished");
    else if (m_paused)
        text += QStringLiteral(", paused");
    return text;
}

QString replaySpeedText(double speed)
{
    if (speed == ReplayPacer::kAsFastAsPossible)
        return QStringLiteral("as fast as possible");
    return QString::number(speed) + QStringLiteral("\u00d7");
}

QString replayTimeText(qint64 ms)
{
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
