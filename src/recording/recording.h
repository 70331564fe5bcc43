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
//
// A damaged data line (a disk error, a hand edit) is passed over and counted: the lines
// around it are still good, and the framer resynchronises on the next frame.
namespace Recording {
inline constexpr char kMagic[] = "KESTREL RECORDING 1";
// Bytes per data line; a longer burst is written as several lines of the same time.
inline constexpr int kBytesPerLine = 64;
// Damaged lines named one by one to the user; the rest are only counted.
inline constexpr int kNamedDamagedLines = 10;
} // namespace Recording

// Data lines that could not be read and were passed over.
struct DamagedLines {
    struct Line {
        qsizetype number = 0; // 1-based, the format line being 1
        QString reason;
    };
    QList<Line> named; // the first Recording::kNamedDamagedLines of them
    qsizetype count = 0;

    bool isEmpty() const { return count == 0; }
    // «1 damaged line», «12 damaged lines»
    QString countText() const;
    // «line 7: the bytes are not pairs of hexadecimal digits» for each named line,
    // then «... and 3 more damaged lines» when there were more.
    QStringList text() const;
};

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
    // Empty when the text is a recording; otherwise what is wrong and on which line.
    QString error;
    // Data lines passed over; everything else is in `chunks`.
    DamagedLines damaged;
    // The last line had no line end and could not be read: the recording was cut
    // short while it was written. Everything before it is in `chunks`.
    bool cutShort = false;

    bool ok() const { return error.isEmpty(); }
    QByteArray bytes() const;
};

// True when the data is meant as a recording (whether or not it reads as one), and not
// raw bytes or hexadecimal text.
bool looksLikeRecording(const QByteArray &data);
RecordingContents readRecording(const QByteArray &data);

// The computer's UTC (ms since 1970) at a recording's time 0, from its comment
// «started: 2026-12-07T04:57:27.588Z»; -1 for any other comment or a date that does
// not read.
qint64 recordingStartedUtcMs(const QString &comment);

// Writes a recording line by line and flushes after each, so that whatever stops the
// writer leaves a file that reads back up to its last whole line. A line the file
// took only in part (a full disk) is cut off again.
class RecordingWriter {
public:
    explicit RecordingWriter(QIODevice &out) : m_out(out) {}

    // The format line and the comments that say how the recording was made.
    bool writeHeader(const QStringList &comments);
    bool writeComment(const QString &comment);
    bool writeChunk(qint64 timeMs, const QByteArray &bytes);
    // Bytes the program sent, as a «# sent» comment line.
    bool writeSent(qint64 timeMs, const QByteArray &bytes);
    // Received bytes whose lines are whole in the file.
    qint64 dataBytes() const { return m_dataBytes; }
    // The system's reason for the last failed write («No space left on device»).
    QString errorString() const;
    // True when the file written to has been deleted: writes still succeed, into a
    // file nobody can open any more.
    bool fileDeleted() const;

private:
    bool put(const QByteArray &line);

    QIODevice &m_out;
    qint64 m_lastMs = 0;
    qint64 m_dataBytes = 0;
    // Where the last whole line ends in a file.
    qint64 m_wholeEnd = -1;
    int m_errno = 0;
};
