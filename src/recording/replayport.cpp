#include "recording/replayport.h"

#include "link/framer.h"
#include "platform/clock.h"
#include "platform/quotedtext.h"
#include "recording/recordingreader.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
constexpr int kStepMs = 10;
// As fast as possible: the processor time one turn of the event loop gives to replay.
constexpr qint64 kFastBudgetMs = 5;
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

void ReplayRecording::eventsBefore(qint64 timeMs)
{
    qsizetype n = 0;
    for (; n < m_pending.size() && m_pending[n].first < timeMs; ++n) {
        // A comment written late still plays in order, at the time reached.
        const qint64 at = std::max(m_pending[n].first, m_lastMs);
        events.insert(lines.size(), m_pending[n].second);
        lines.append(at, {});
        m_lastMs = at;
    }
    m_pending.remove(0, n);
}

void ReplayRecording::addLine(qint64 timeMs, QByteArrayView bytes)
{
    // Each event goes after the lines of its time and before later ones.
    eventsBefore(timeMs);
    lines.append(timeMs, bytes);
    m_lastMs = timeMs;
}

void ReplayRecording::addComment(const QString &comment)
{
    if (startedUtcMs < 0)
        startedUtcMs = recordingStartedUtcMs(comment);
    qint64 ms = 0;
    if (const int code = lineEvent(comment, ms)) {
        const auto later = std::upper_bound(m_pending.begin(), m_pending.end(), ms,
                                            [](qint64 t, const auto &e) { return t < e.first; });
        m_pending.insert(later, {ms, code});
    }
}

void ReplayRecording::finish()
{
    eventsBefore(std::numeric_limits<qint64>::max());
}

bool ReplayRecording::read(RecordingReader &reader, const std::function<void(qint64)> &progress)
{
    qsizetype items = 0;
    reader.setByteLimit(kMaxFileBytes);
    for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
        if (item == RecordingReader::Item::Data)
            addLine(reader.timeMs(), reader.bytes());
        else if (item == RecordingReader::Item::Comment)
            addComment(reader.comment());
        if (++items % 1024 == 0 && progress)
            progress(reader.bytesRead());
    }
    finish();
    error = reader.bytesRead() > kMaxFileBytes ? replayTooLargeText(QString(), reader.bytesRead())
                                               : reader.error();
    damaged = reader.damaged();
    cutShort = reader.cutShort();
    return error.isEmpty();
}

QString replayTooLargeText(const QString &name, qint64 bytes)
{
    return QStringLiteral("%1 is more than %2 MB: a replay holds at most 1 GB (1000 MB). "
                          "Cut it into parts, or use kestrelctl decode, stats or export, "
                          "which read recordings of any length.")
        .arg(name.isEmpty() ? QStringLiteral("the recording") : quotedPath(name),
             QString::number(bytes / 1'000'000));
}

void ReplayPort::load(ReplayRecording recording, const QString &name)
{
    close();
    m_events = std::move(recording.events);
    m_startedUtcMs = recording.startedUtcMs;
    m_name = name;
    m_pacer = ReplayPacer(std::move(recording.lines), m_pacer.speed());
}

bool ReplayPort::open()
{
    close();
    if (!loaded()) {
        m_error = QStringLiteral("no recording is loaded (File, Open Recording...)");
        return false;
    }
    m_error.clear();
    m_pacer = ReplayPacer(m_pacer.lines(), m_pacer.speed());
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
    // As fast as possible, a step at every turn of the event loop.
    m_timer.setInterval(speed == ReplayPacer::kAsFastAsPossible ? 0 : kStepMs);
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
    if (m_pacer.speed() == ReplayPacer::kAsFastAsPossible) {
        // Steps for as long as a few milliseconds of processor time allow, then the
        // event loop gets its turn: as fast as the machine goes, and never frozen.
        ++m_fastTurns;
        QElapsedTimer budget;
        budget.start();
        do
            handOn(0);
        while (m_open && !m_paused && !m_pacer.finished() && !budget.hasExpired(kFastBudgetMs));
    } else {
        handOn(elapsed);
    }
    if (m_pacer.positionMs() != before || m_pacer.finished())
        emit progressed();
}

void ReplayPort::handOn(qint64 wallMs)
{
    const qsizetype from = m_pacer.nextLine();
    m_pacer.advance(wallMs);
    const ReplayLines &lines = m_pacer.lines();
    // Line by line, each at its recorded time: a step may hand on many seconds of
    // the recording, and every frame is timed by the line that completed it.
    for (qsizetype i = from; i < m_pacer.nextLine(); ++i) {
        m_handingMs = lines.timeMs(i);
        if (const int event = m_events.value(i))
            emit commEvent(event);
        else
            emit received(lines.bytes(i, i + 1));
    }
    m_handingMs = -1;
}

qint64 ReplayPort::recordingTimeMs() const
{
    if (m_handingMs >= 0)
        return m_handingMs;
    return m_pacer.isEmpty() ? 0 : m_pacer.lines().timeMs(0) + m_pacer.positionMs();
}

QString ReplayPort::statusText() const
{
    if (!m_open)
        return {};
    QString text = QStringLiteral("Replay %1 %2 of %3, %4")
                       .arg(quotedPath(m_name), replayTimeText(positionMs()),
                            replayTimeText(durationMs()), replaySpeedText(speed()));
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

qint64 replaySliderStepMs(qint64 durationMs)
{
    constexpr qint64 kTenth = 100;
    constexpr qint64 kMostSteps = std::numeric_limits<int>::max();
    return std::max(kTenth, (durationMs + kMostSteps - 1) / kMostSteps);
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
