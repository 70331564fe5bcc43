#include "recording/recording.h"

#include "link/hextext.h"

#include <QFileDevice>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

QByteArray RecordingContents::bytes() const
{
    QByteArray out;
    for (const RecordedChunk &c : chunks)
        out += c.bytes;
    return out;
}

QString DamagedLines::countText() const
{
    return QStringLiteral("%1 damaged line%2")
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

QStringList DamagedLines::text() const
{
    QStringList lines;
    for (const Line &l : named)
        lines << QStringLiteral("line %1: %2").arg(l.number).arg(l.reason);
    if (count > named.size())
        lines << QStringLiteral("... and %1 more damaged line%2")
                     .arg(count - named.size())
                     .arg(count - named.size() == 1 ? QString() : QStringLiteral("s"));
    return lines;
}

namespace {

constexpr char kSent[] = "# sent ";

// «# sent MS HEX»; anything else is an ordinary comment.
std::optional<RecordedChunk> sentLine(const QByteArray &line)
{
    if (!line.startsWith(kSent))
        return std::nullopt;
    const QList<QByteArray> parts = line.mid(qsizetype(sizeof kSent) - 1).split(' ');
    bool ok = false;
    const qint64 ms = parts.size() == 2 ? parts[0].toLongLong(&ok) : -1;
    const HexTextResult hex = parseHexText(QString::fromLatin1(parts.value(1)));
    if (!ok || ms < 0 || !hex.ok() || hex.bytes.isEmpty())
        return std::nullopt;
    return RecordedChunk{ms, hex.bytes};
}

} // namespace

bool looksLikeRecording(const QByteArray &data)
{
    return data.startsWith(Recording::kMagic);
}

RecordingContents readRecording(const QByteArray &data)
{
    RecordingContents rec;
    const QList<QByteArray> lines = data.split('\n');
    // split() leaves an empty last piece after a final line end; anything else there
    // is a line whose end never got written.
    const bool unterminated = !data.isEmpty() && !data.endsWith('\n');
    if (lines.isEmpty() || lines[0].trimmed() != Recording::kMagic) {
        rec.error = QStringLiteral("line 1: not a Kestrel recording (it must begin with \"%1\")")
                        .arg(QLatin1String(Recording::kMagic));
        return rec;
    }
    qint64 lastMs = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const bool last = unterminated && i == lines.size() - 1;
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            if (const auto sent = sentLine(line))
                rec.sent.append(*sent);
            else
                rec.comments.append(QString::fromUtf8(line.mid(1).trimmed()));
            continue;
        }
        QString problem;
        const qsizetype blank = line.indexOf(' ');
        bool timeOk = false;
        const qint64 ms = blank > 0 ? line.left(blank).toLongLong(&timeOk) : 0;
        const HexTextResult hex =
            blank > 0 ? parseHexText(QString::fromLatin1(line.mid(blank + 1))) : HexTextResult{};
        if (blank <= 0)
            problem = QStringLiteral("a data line is a time in milliseconds, a blank and bytes "
                                     "in hexadecimal");
        else if (!timeOk || ms < 0)
            problem = QStringLiteral("the time \"%1\" is not a whole number of milliseconds")
                          .arg(QString::fromLatin1(line.left(blank)));
        else if (ms < lastMs)
            problem = QStringLiteral("the time %1 ms is earlier than the line before (%2 ms)")
                          .arg(ms)
                          .arg(lastMs);
        else if (!hex.ok())
            problem = QStringLiteral("the bytes are not pairs of hexadecimal digits");
        else if (hex.bytes.isEmpty())
            problem = QStringLiteral("a data line without bytes");
        if (!problem.isEmpty()) {
            if (last) {
                rec.cutShort = true;
                break;
            }
            // The line is lost, not the recording: its neighbours still hold their bytes.
            if (rec.damaged.named.size() < Recording::kNamedDamagedLines)
                rec.damaged.named.append({i + 1, problem});
            ++rec.damaged.count;
            continue;
        }
        lastMs = ms;
        rec.chunks.append({ms, hex.bytes});
    }
    return rec;
}

bool RecordingWriter::writeHeader(const QStringList &comments)
{
    if (!put(QByteArray(Recording::kMagic) + '\n'))
        return false;
    for (const QString &c : comments)
        if (!writeComment(c))
            return false;
    return true;
}

bool RecordingWriter::writeComment(const QString &comment)
{
    // One comment per line, whatever it holds.
    for (const QString &part : comment.split(QLatin1Char('\n')))
        if (!put("# " + part.toUtf8() + '\n'))
            return false;
    return true;
}

bool RecordingWriter::writeChunk(qint64 timeMs, const QByteArray &bytes)
{
    m_lastMs = qMax(m_lastMs, timeMs);
    for (qsizetype at = 0; at < bytes.size(); at += Recording::kBytesPerLine) {
        const QByteArray part = bytes.mid(at, Recording::kBytesPerLine);
        if (!put(QByteArray::number(m_lastMs) + ' ' + part.toHex().toUpper() + '\n'))
            return false;
        m_dataBytes += part.size();
    }
    return true;
}

bool RecordingWriter::writeSent(qint64 timeMs, const QByteArray &bytes)
{
    m_lastMs = qMax(m_lastMs, timeMs);
    return put(kSent + QByteArray::number(m_lastMs) + ' ' + bytes.toHex().toUpper() + '\n');
}

bool RecordingWriter::put(const QByteArray &line)
{
    auto *file = qobject_cast<QFileDevice *>(&m_out);
    if (file && m_wholeEnd < 0)
        m_wholeEnd = file->pos();
    errno = 0;
    bool ok = m_out.write(line) == line.size();
    if (ok && file)
        ok = file->flush();
    if (ok) {
        if (file)
            m_wholeEnd += line.size();
        return true;
    }
    // Kept at once: the device's own text for a failed flush is often «Unknown error».
    m_errno = errno;
    if (file && file->handle() >= 0 && ::ftruncate(file->handle(), m_wholeEnd) != 0)
        m_errno = m_errno ? m_errno : errno;
    return false;
}

QString RecordingWriter::errorString() const
{
    if (m_errno != 0)
        return QString::fromLocal8Bit(std::strerror(m_errno));
    return m_out.errorString();
}

bool RecordingWriter::fileDeleted() const
{
    const auto *file = qobject_cast<const QFileDevice *>(&m_out);
    struct stat st {};
    return file && file->handle() >= 0 && ::fstat(file->handle(), &st) == 0 && st.st_nlink == 0;
}
