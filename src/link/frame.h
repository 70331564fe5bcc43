#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <array>

// One frame as it came off the line: its bytes from the first type byte to the
// carriage return, when its first byte arrived and whether it passed its checksum and
// terminator. A value, so that whoever keeps it keeps it whole after the next byte.
struct Frame {
    // The longest frame the receiver sends; the bytes live inline, no heap per frame.
    static constexpr int kMaxLength = 50;

    std::array<quint8, kMaxLength> data{};
    quint8 length = 0;
    // On the link's data clock (the recording's own clock in a replay), in ms; -1 unknown.
    qint64 arrivedMs = -1;
    // The same clock at the read that brought its last byte; the fix statistics are
    // timed by it, as kestrelctl times a recording's frames.
    qint64 completedMs = -1;
    // The computer's UTC (ms since 1970) at the read that brought its first byte; -1 unknown.
    qint64 arrivedUtcMs = -1;
    bool good = false;

    // A frame of these bytes, cut to kMaxLength.
    static Frame fromBytes(QByteArrayView bytes, bool good = true, qint64 arrivedMs = -1);

    quint8 type() const { return length > 0 ? data[0] : 0; }
    // The whole frame; bytes()[0] is frame position 1.
    QByteArrayView bytes() const
    {
        return QByteArrayView(reinterpret_cast<const char *>(data.data()), length);
    }
    // The byte at frame position 1..length, 0 outside the frame.
    quint8 at(int position) const
    {
        return position >= 1 && position <= length ? data[std::size_t(position - 1)] : 0;
    }
    // The log line: "CMD: " and the type for a good frame, "ERR: CkSum" for a damaged one.
    QString logLine() const;
};
