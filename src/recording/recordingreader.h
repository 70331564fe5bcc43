#pragma once

#include "recording/recording.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// A file, a FIFO, a pipe or standard input, read once and front to back. A read waits at
// most a tenth of a second at a time, so a cancel (Ctrl+C, a Cancel button) is heard
// even while a FIFO's writer is silent.
class RecordingInput {
public:
    RecordingInput() = default;
    ~RecordingInput();
    RecordingInput(const RecordingInput &) = delete;
    RecordingInput &operator=(const RecordingInput &) = delete;

    // "-" is standard input. False with errorString() when it cannot be read.
    bool open(const QString &path);
    // Bytes read into `to`: 0 at the end, -1 on an error or a cancel.
    qint64 read(char *to, qint64 max);
    // The size of a regular file; -1 for a pipe, a FIFO or a terminal.
    qint64 size() const { return m_size; }
    QString errorString() const { return m_error; }
    // Asked between waits; true stops reading with the error "interrupted".
    void setCancel(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

private:
    int m_fd = -1;
    bool m_own = false;
    qint64 m_size = -1;
    QString m_error;
    std::function<bool()> m_cancelled;
};

// Reads a recording line by line through one buffer that is reused, so reading a
// file of any length takes the same memory. Lines are judged as readRecording says.
class RecordingReader {
public:
    // A longer line is damaged: it is passed over without being held.
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;
    // Times beyond 100 years (of 365.25 days) are damage, not a long recording.
    static constexpr qint64 kMaxTimeMs = 3'155'760'000'000;

    enum class Item { Data, Sent, Comment, End };

    // `alreadyRead` is what was taken from the input before, to look at it.
    explicit RecordingReader(RecordingInput &in, QByteArray alreadyRead = {});
    explicit RecordingReader(QIODevice &in);

    // Reads and checks the format line; false with error() when it is not a recording.
    // Only its first 64 KiB are looked at: /dev/zero is refused, not read for ever.
    bool readHeader();
    // Reading stops with an error once more than this many bytes came in.
    void setByteLimit(qint64 bytes) { m_byteLimit = bytes; }
    // The next data line, «# sent» line or comment; End at the end or on an error.
    Item next();

    qint64 timeMs() const { return m_timeMs; }
    // A data or «# sent» line's bytes, valid until the next call.
    const QByteArray &bytes() const { return m_bytes; }
    QString comment() const;

    // Empty while all is well: otherwise why it is not a recording, or why reading stopped.
    QString error() const { return m_error; }
    const DamagedLines &damaged() const { return m_damaged; }
    bool cutShort() const { return m_cutShort; }
    // Bytes taken from the input so far, for progress.
    qint64 bytesRead() const { return m_bytesRead; }
    // What the reader holds in memory for its lines; stays put over a long file.
    qsizetype bufferCapacity() const
    {
        return m_buffer.capacity() + m_line.capacity() + m_bytes.capacity();
    }

private:
    enum class Line { Whole, Unterminated, End };
    Line readLine(bool header = false);
    bool refill();
    void damage(const QString &reason);

    std::function<qint64(char *, qint64)> m_read;
    std::function<QString()> m_readError;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    QByteArray m_line;
    bool m_tooLong = false;
    QByteArray m_bytes;
    qint64 m_timeMs = 0;
    qint64 m_lastMs = 0;
    qsizetype m_lineNumber = 0;
    qint64 m_bytesRead = 0;
    qint64 m_byteLimit = -1;
    QString m_error;
    DamagedLines m_damaged;
    bool m_cutShort = false;
};

// A recording opened and, once readHeader() is called, checked: handed on as one to
// whoever reads the rest, so that a pipe is read once.
struct OpenedRecording {
    RecordingInput input;
    RecordingReader reader{input};
};

// «reading trip.krec: 42 % of 36.0 MB»; «reading standard input: 12.5 MB» when the
// size is not known (total below 0).
QString readingProgressText(const QString &name, qint64 done, qint64 total);
