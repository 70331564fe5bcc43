#include "ptylink.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kStaleBytes = 2048;
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
        error = QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(link);
        return false;
    }
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) !=
        0) {
        error = QStringLiteral("cannot create the link %1: %2")
                    .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
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
    if (!openRawPty(m_master, m_slave, m_slavePath, m_error))
        return false;
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    return true;
}

void PtyLink::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

qsizetype PtyLink::write(const QByteArray &bytes)
{
    // Far more than a reader that keeps up leaves waiting: nobody reads, and what
    // waits would reach the next reader as a burst of stale messages.
    int waiting = 0;
    if (m_slave >= 0 && ::ioctl(m_slave, FIONREAD, &waiting) == 0 && waiting > kStaleBytes)
        ::tcflush(m_slave, TCIFLUSH);
    qsizetype done = 0;
    bool flushed = false;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (!flushed && m_slave >= 0) {
            ::tcflush(m_slave, TCIFLUSH);
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
        // EAGAIN: all read. EIO: no program has the slave open, which is no error here.
        break;
    }
}
