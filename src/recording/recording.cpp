#include "recording/recording.h"

#include "recording/recordingreader.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileDevice>
#include <QIODevice>

#include <cerrno>
#include <cstring>
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

bool looksLikeRecording(const QByteArray &data)
{
    // A byte order mark or another version still says "meant as a recording": the
    // reader then tells what is wrong instead of the bytes being taken for raw ones.
    const QByteArray text = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
    return text.startsWith("KESTREL RECORDING");
}

RecordingContents readRecording(const QByteArray &data)
{
    RecordingContents rec;
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    RecordingReader reader(buffer);
    if (reader.readHeader()) {
        for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
            if (item == RecordingReader::Item::Data)
                rec.chunks.append({reader.timeMs(), reader.bytes()});
            else if (item == RecordingReader::Item::Sent)
                rec.sent.append({reader.timeMs(), reader.bytes()});
            else
                rec.comments.append(reader.comment());
        }
    }
    rec.error = reader.error();
    rec.damaged = reader.damaged();
    rec.cutShort = reader.cutShort();
    return rec;
}

static constexpr char kSentMark[] = "# sent ";

qint64 recordingStartedUtcMs(const QString &comment)
{
    static const QString kStarted = QStringLiteral("started: ");
    if (!comment.startsWith(kStarted))
        return -1;
    const QDateTime t =
        QDateTime::fromString(comment.mid(kStarted.size()).trimmed(), Qt::ISODateWithMs);
    // Before 1970 is no time a recorder wrote, and would read as "unknown".
    if (!t.isValid() || t.toMSecsSinceEpoch() < 0)
        return -1;
    return t.toMSecsSinceEpoch();
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
    return put(kSentMark + QByteArray::number(m_lastMs) + ' ' + bytes.toHex().toUpper() + '\n');
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
