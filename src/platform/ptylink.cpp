#include "platform/ptylink.h"

#include "platform/quotedtext.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kStaleBytes = 2048;
// How often a terminal that no program has open is looked at again; a program's first
// bytes wait this long at most.
constexpr int kWatchMs = 20;
} // namespace

bool openRawPty(int &master, int &slave, QString &slavePath, QString &error)
{
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        master = slave = -1;
        return false;
    }
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

bool replaceSymlink(const QString &link, const QString &target, QString &error)
{
    const QFileInfo info(link);
    if (info.isSymLink()) {
        ::unlink(QFile::encodeName(link).constData());
    } else if (info.exists()) {
        error = QStringLiteral("%1 exists and is not a symbolic link; not replacing it")
                    .arg(quotedPath(link));
        return false;
    }
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) !=
        0) {
        error = QStringLiteral("cannot create the link %1: %2")
                    .arg(quotedPath(link), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

PtyLink::PtyLink(QObject *parent) : QObject(parent) {}

PtyLink::~PtyLink()
{
    close();
}

bool PtyLink::open()
{
    close();
    int slave = -1;
    if (!openRawPty(m_master, slave, m_slavePath, m_error))
        return false;
    // Held here, the slave side would hide whether a program has it open.
    ::close(slave);
    m_readerPresent = false;
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    // Nothing on the master tells that a program has opened the slave side.
    m_watch = new QTimer(this);
    m_watch->setInterval(kWatchMs);
    connect(m_watch, &QTimer::timeout, this, &PtyLink::checkReader);
    m_watch->start();
    return true;
}

void PtyLink::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    delete m_watch;
    m_watch = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    m_readerPresent = false;
}

bool PtyLink::checkReader()
{
    if (m_master < 0)
        return false;
    // The master hangs up while no program has the slave side open.
    pollfd p{m_master, POLLIN, 0};
    const bool present = ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
    if (present == m_readerPresent)
        return present;
    m_readerPresent = present;
    // A hung-up master is always readable; its notifier would spin.
    m_notifier->setEnabled(present);
    // What the last program left unread is no news to the next one.
    flushWaiting(0);
    emit readerChanged(present);
    return present;
}

void PtyLink::flushWaiting(int keep)
{
    // Briefly the slave side is opened here too; with a program holding it, closing
    // it again does not hang the master up.
    const int fd = ::open(QFile::encodeName(m_slavePath).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    int waiting = 0;
    if (keep == 0 || (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > keep))
        ::tcflush(fd, TCIFLUSH);
    ::close(fd);
}

qsizetype PtyLink::write(const QByteArray &bytes)
{
    if (!checkReader())
        return bytes.size();
    // Far more than a reader that keeps up leaves waiting: it does not read, and what
    // waits would reach it later as a burst of stale messages.
    flushWaiting(kStaleBytes);
    qsizetype done = 0;
    bool flushed = false;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (!flushed) {
            flushWaiting(0);
            flushed = true;
        } else {
            break;
        }
    }
    return bytes.size() - done;
}

void PtyLink::onReadable()
{
    char buf[1024];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            emit received(QByteArray(buf, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO: the last program closed the slave side.
        if (n < 0 && errno == EIO)
            checkReader();
        break;
    }
}
