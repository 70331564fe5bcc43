#include "recording/recordingreader.h"

#include "link/hextext.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read a block at a time: large enough for few system calls, small enough to keep.
constexpr qsizetype kReadBlock = 64 * 1024;
// How long a read waits before it asks whether to stop.
constexpr int kWaitMs = 100;
constexpr char kSent[] = "# sent ";
constexpr char kBom[] = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isBlank(v.back()))
        v.chop(1);
    return v;
}

// Pairs of hexadecimal digits, groups apart by blanks; false for anything else.
bool parseHex(QByteArrayView text, QByteArray &out)
{
    out.resize(text.size() / 2);
    qsizetype n = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        if (isBlank(text[i]) || text[i] == ',' || text[i] == ':' || text[i] == ';') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            return false;
        const int hi = hexDigitValue(char16_t(quint8(text[i])));
        const int lo = hexDigitValue(char16_t(quint8(text[i + 1])));
        if (hi < 0 || lo < 0)
            return false;
        out[n++] = char(hi << 4 | lo);
        i += 2;
    }
    out.resize(n);
    return true;
}

enum class TimeText { Ok, NotNumber, TooLate };

// Digits only; counting stops past the bound, so no length of digits overflows.
TimeText parseTime(QByteArrayView text, qint64 &ms)
{
    ms = 0;
    if (text.isEmpty())
        return TimeText::NotNumber;
    bool tooLate = false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return TimeText::NotNumber;
        if (!tooLate)
            ms = ms * 10 + (c - '0');
        tooLate = tooLate || ms > RecordingReader::kMaxTimeMs;
    }
    return tooLate ? TimeText::TooLate : TimeText::Ok;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString readingProgressText(const QString &name, qint64 done, qint64 total)
{
    const auto mb = [](qint64 bytes) { return QString::number(double(bytes) / 1e6, 'f', 1); };
    if (total <= 0)
        return QStringLiteral("reading %1: %2 MB").arg(quotedPath(name), mb(done));
    return QStringLiteral("reading %1: %2 % of %3 MB")
        .arg(quotedPath(name), QString::number(std::min<qint64>(done, total) * 100 / total),
             mb(total));
}

RecordingInput::~RecordingInput()
{
    if (m_own && m_fd >= 0)
        ::close(m_fd);
}

bool RecordingInput::open(const QString &path)
{
    if (path == QLatin1String("-")) {
        m_fd = STDIN_FILENO;
        m_own = false;
    } else {
        // Not blocking: a FIFO without a writer opens at once, and the reads wait instead.
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0) {
            m_error = systemError();
            return false;
        }
        m_own = true;
    }
    struct stat st = {};
    if (::fstat(m_fd, &st) != 0) {
        m_error = systemError();
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        m_error = QStringLiteral("it is a folder");
        return false;
    }
    m_size = S_ISREG(st.st_mode) ? qint64(st.st_size) : -1;
    return true;
}

qint64 RecordingInput::read(char *to, qint64 max)
{
    for (;;) {
        if (m_cancelled && m_cancelled()) {
            m_error = QStringLiteral("interrupted");
            return -1;
        }
        // A FIFO that never had a writer is not readable yet, where a read would say
        // "end"; the poll waits for the writer.
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kWaitMs);
        if (ready < 0 && errno != EINTR) {
            m_error = systemError();
            return -1;
        }
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(m_fd, to, size_t(max));
        if (n >= 0)
            return n;
        if (errno != EINTR && errno != EAGAIN) {
            m_error = systemError();
            return -1;
        }
    }
}

RecordingReader::RecordingReader(RecordingInput &in, QByteArray alreadyRead)
    : m_read([&in](char *to, qint64 max) { return in.read(to, max); }),
      m_readError([&in] { return in.errorString(); }), m_buffer(std::move(alreadyRead))
{
    m_end = m_buffer.size();
    m_bytesRead = m_end;
}

RecordingReader::RecordingReader(QIODevice &in)
    : m_read([&in](char *to, qint64 max) { return in.read(to, max); }),
      m_readError([&in] { return in.errorString(); })
{
}

bool RecordingReader::refill()
{
    if (m_eof || !m_error.isEmpty())
        return false;
    if (m_byteLimit >= 0 && m_bytesRead > m_byteLimit) {
        m_error = QStringLiteral("it is more than %1 MB").arg(m_byteLimit / 1'000'000);
        return false;
    }
    if (m_buffer.size() < kReadBlock)
        m_buffer.resize(kReadBlock);
    const qint64 n = m_read(m_buffer.data(), m_buffer.size());
    if (n <= 0) {
        m_eof = true;
        if (n < 0)
            m_error = QStringLiteral("cannot read it: %1").arg(m_readError());
        return false;
    }
    m_at = 0;
    m_end = n;
    m_bytesRead += n;
    return true;
}

RecordingReader::Line RecordingReader::readLine(bool header)
{
    m_line.resize(0);
    m_tooLong = false;
    bool any = false;
    for (;;) {
        if (m_at == m_end && !refill())
            return any ? Line::Unterminated : Line::End;
        any = true;
        const char *from = m_buffer.constData() + m_at;
        const auto *nl = static_cast<const char *>(std::memchr(from, '\n', size_t(m_end - m_at)));
        const qsizetype n = nl ? nl - from : m_end - m_at;
        if (!m_tooLong && m_line.size() + n > kMaxLineBytes) {
            // The rest of the line is passed over as it comes, never held.
            m_tooLong = true;
            m_line.resize(0);
            if (header)
                return Line::Whole;
        }
        if (!m_tooLong)
            m_line.append(from, n);
        m_at += n;
        if (nl) {
            ++m_at;
            return Line::Whole;
        }
    }
}

bool RecordingReader::readHeader()
{
    const QString must = QStringLiteral("it must begin with \"%1\"").arg(Recording::kMagic);
    const Line got = readLine(true);
    m_lineNumber = 1;
    if (!m_error.isEmpty())
        return false;
    const QByteArrayView line = trimmed(m_line);
    if (got != Line::End && !m_tooLong && line == QByteArrayView(Recording::kMagic))
        return true;
    QString why = must;
    if (got == Line::End)
        why += QStringLiteral("; the file is empty");
    else if (m_line.startsWith(kBom))
        why += QStringLiteral("; this one begins with a UTF-8 byte order mark");
    else if (!m_tooLong && line.startsWith("KESTREL RECORDING "))
        why += QStringLiteral("; \"%1\" is a format this version does not read")
                   .arg(quotedFileText(line));
    m_error = QStringLiteral("line 1: not a Kestrel recording (%1)").arg(why);
    return false;
}

void RecordingReader::damage(const QString &reason)
{
    // The line is lost, not the recording: its neighbours still hold their bytes.
    if (m_damaged.named.size() < Recording::kNamedDamagedLines)
        m_damaged.named.append({m_lineNumber, reason});
    ++m_damaged.count;
}

QString RecordingReader::comment() const
{
    return QString::fromUtf8(trimmed(trimmed(m_line).sliced(1)));
}

RecordingReader::Item RecordingReader::next()
{
    for (;;) {
        if (!m_error.isEmpty())
            return Item::End;
        const Line got = readLine();
        if (got == Line::End)
            return Item::End;
        ++m_lineNumber;
        // A last line without its end was cut short while written: whatever is wrong
        // with it is the cut, not damage.
        const bool last = got == Line::Unterminated;
        const auto problem = [&](const QString &reason) {
            if (last)
                m_cutShort = true;
            else
                damage(reason);
        };
        if (m_tooLong) {
            problem(QStringLiteral("the line is longer than %1 bytes").arg(kMaxLineBytes));
            continue;
        }
        const QByteArrayView line = trimmed(m_line);
        if (line.isEmpty())
            continue;
        if (line.front() == '#') {
            if (line.startsWith(kSent)) {
                const QByteArrayView rest = line.sliced(qsizetype(sizeof kSent) - 1);
                const qsizetype blank = rest.indexOf(' ');
                if (blank > 0 && rest.sliced(blank + 1).indexOf(' ') < 0 &&
                    parseTime(rest.first(blank), m_timeMs) == TimeText::Ok &&
                    parseHex(rest.sliced(blank + 1), m_bytes) && !m_bytes.isEmpty())
                    return Item::Sent;
            }
            return Item::Comment;
        }
        const qsizetype blank = line.indexOf(' ');
        if (blank <= 0) {
            problem(QStringLiteral(
                "a data line is a time in milliseconds, a blank and bytes in hexadecimal"));
            continue;
        }
        const QByteArrayView time = line.first(blank);
        qint64 ms = 0;
        const TimeText t = parseTime(time, ms);
        if (t == TimeText::NotNumber) {
            problem(QStringLiteral("the time \"%1\" is not a whole number of milliseconds")
                        .arg(quotedFileText(time)));
            continue;
        }
        if (t == TimeText::TooLate) {
            problem(
                QStringLiteral("the time \"%1\" is more than 100 years").arg(quotedFileText(time)));
            continue;
        }
        if (ms < m_lastMs) {
            problem(QStringLiteral("the time %1 ms is earlier than the line before (%2 ms)")
                        .arg(ms)
                        .arg(m_lastMs));
            continue;
        }
        if (!parseHex(line.sliced(blank + 1), m_bytes)) {
            problem(QStringLiteral("the bytes are not pairs of hexadecimal digits"));
            continue;
        }
        if (m_bytes.isEmpty()) {
            problem(QStringLiteral("a data line without bytes"));
            continue;
        }
        m_lastMs = m_timeMs = ms;
        return Item::Data;
    }
}
