#pragma once

#include "decoders/fields.h"
#include "link/units.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>

// The texts one window shows for a frame, by the window's name ("Navigate",
// "Position", "Condition", "Mode", "Diagnosis", "TimeStamp", "RecSat").
struct WindowFields {
    QString window;
    Fields fields;
    bool operator==(const WindowFields &) const = default;
};

// One line of the program's log and what the windows showed with it: a frame that
// passed ("CMD: CA"), one that failed ("ERR: CkSum"), or a line event ("ERR: Break").
struct DecodedFrame {
    QString logLine;
    // The frame's bytes as the framer held them; empty for a line event.
    QByteArray bytes;
    // Whether the frame passed its checksum and terminator.
    bool good = false;
    // Every window that decodes the frame, as if all of them were open, main window first.
    QList<WindowFields> windows;
    // When the frame's last byte arrived, in milliseconds; -1 when not known.
    qint64 timeMs = -1;
    // The computer's UTC (ms since 1970) at the feed that brought its first byte; -1
    // when not known.
    qint64 arrivedUtcMs = -1;
};

// The program's receive path without windows: the same framer, dispatcher and decoders,
// every data window notionally open, each frame's texts collected instead of shown.
class FrameDecoder {
public:
    // Whether each frame's window texts are worked out, or only its bytes and log line
    // (for readers of the messages' values, which throw the texts away).
    enum class Texts { Decoded, Skipped };

    // Local times are shown as in the main window for this time-zone index (0..24, or
    // kComputerTimeZone).
    explicit FrameDecoder(int timeZoneIndex, Texts texts = Texts::Decoded);
    ~FrameDecoder();
    // The main window's position, height and speed in these units (View, Units).
    void setUnits(const Units &units);

    // `utcMs`: the computer's UTC when these bytes arrived, if known.
    QList<DecodedFrame> feed(QByteArrayView bytes, qint64 timeMs = -1, qint64 utcMs = -1);
    DecodedFrame lineEvent(int code, qint64 timeMs = -1);
    // Bytes of a frame have arrived but not the whole of it.
    bool midFrame() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The decoded frame as text: its log line, then one line per field, "Window.Control: "
// followed by the text exactly as the window shows it (its own blanks included).
QString frameText(const DecodedFrame &frame);
// The decoded frame as one line of JSON: {"log", "type", "bytes", "time_ms", "windows":
// {window: {control: text}}, "values": {...}}, the controls in the order the window
// writes them; "values" (valuesjson.h) for the good frames of types that have them.
QByteArray frameJson(const DecodedFrame &frame);
// The same bytes as frameText(frame).toUtf8() and frameJson(frame), appended to `out`:
// a printer that reuses one buffer allocates nothing per frame.
void appendFrameText(QByteArray &out, const DecodedFrame &frame);
void appendFrameJson(QByteArray &out, const DecodedFrame &frame);
