#include "replay.h"

#include "platform/ptylink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// A program that opens the terminal sets its line up right after; bytes sent before
// that could be thrown away by it.
constexpr qint64 kSettleMs = 300;
constexpr int kStepMs = 2;
// Waiting for a reader, or with everything played, there is no timing to keep.
constexpr int kIdleStepMs = 20;
} // namespace

Replay::Replay(ReplayLines lines, double speed, QObject *parent)
    : QObject(parent), m_pacer(std::move(lines), speed)
{
    m_timer.setInterval(kIdleStepMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Replay::step);
}

Replay::~Replay()
{
    if (m_master >= 0)
        ::close(m_master);
}

bool Replay::open()
{
    int slave = -1;
    if (!openRawPty(m_master, slave, m_slavePath, m_error))
        return false;
    // Only the reader holds the slave side, so the master sees when one has it open.
    ::close(slave);
    return true;
}

void Replay::start()
{
    m_clock.start();
    m_timer.start();
}

bool Replay::readerPresent() const
{
    pollfd p{m_master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

void Replay::step()
{
    // What the reader sends (requests, commands) has no effect on a recording.
    char sink[512];
    while (::read(m_master, sink, sizeof sink) > 0) {
    }
    if (m_readerSeenMs < 0) {
        if (readerPresent()) {
            m_readerSeenMs = m_clock.elapsed();
            m_timer.setInterval(kStepMs);
        }
        return;
    }
    const qint64 since = m_clock.elapsed() - m_readerSeenMs - kSettleMs;
    if (since < 0)
        return;
    m_pending += m_pacer.advance(since - m_playedMs);
    m_playedMs = since;
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n <= 0)
            break; // the reader is behind; the rest goes at the next step
        m_pending.remove(0, n);
        m_written += n;
    }
    if (!m_done && m_pacer.finished() && m_pending.isEmpty()) {
        m_done = true;
        m_timer.setInterval(kIdleStepMs);
        emit finished(m_written);
    }
}
