#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// A recording of the receiver's byte stream: text, one line each, so that it survives
// an interrupted write and reads in any editor.
//
//     KESTREL RECORDING 1
//     # comment lines: how and when it was made
//     0 CACA04...0D
//     1013 CBCB...0D
//
// The first line names the format and its version. A data line is the arrival time in
// milliseconds since the recording started (never decreasing), one blank, and the bytes
// that arrived then as upper-case hexadecimal digit pairs. Lines starting with "#" and
// empty lines carry no data.
//
// What the program sent is kept in comment lines, «# sent 1013 CACA00...», so that
// readers that know only the received bytes pass over it.
namespace Recording {
inline constexpr char kMagic[] = "KESTREL RECORDING 1";
// Bytes per data line; a longer burst is written as several lines of the same time.
inline constexpr int kBytesPerLine = 64;
} // namespace Recording

struct RecordedChunk {
    qint64 timeMs = 0;
    QByteArray bytes;
    bool operator==(const RecordedChunk &) const = default;
};

struct RecordingContents {
    QStringList comments; // the text after "# "
    QList<RecordedChunk> chunks;
    // What the program sent, from the «# sent» lines (not in `comments`).
    QList<RecordedChunk> sent;
    // Empty when the whole text was read; otherwise what is wrong and on which line.
    QString error;
    // The last line had no line end and could not be read: the recording was cut
    // short while it was written. Everything before it is in `chunks`.
    bool cutShort = false;

    bool ok() const { return error.isEmpty(); }
    QByteArray bytes() const;
};

// True when the data starts as a recording does.
bool looksLikeRecording(const QByteArray &data);
RecordingContents readRecording(const QByteArray &data);

// Writes a recording line by line and flushes after each, so that whatever stops the
// writer leaves a file that reads back up to its last whole line.
class RecordingWriter {
public:
    explicit RecordingWriter(QIODevice &out) : m_out(out) {}

    // The format line and the comments that say how the recording was made.
    bool writeHeader(const QStringList &comments);
    bool writeComment(const QString &comment);
    bool writeChunk(qint64 timeMs, const QByteArray &bytes);
    // Bytes the program sent, as a «# sent» comment line.
    bool writeSent(qint64 timeMs, const QByteArray &bytes);
    QString errorString() const;

private:
    bool put(const QByteArray &line);

    QIODevice &m_out;
    qint64 m_lastMs = 0;
};
