#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Byte streams for the benchmarks, as a receiver puts them on the line: whole frames
// with good checksums, back to back.
struct BenchStream {
    QByteArray bytes;
    int frames = 0;
};

// Frames of every received type in the proportions of a busy receiver with every
// data window open: per round a navigation and a satellite message, one of each
// data window's messages and an acknowledgement.
BenchStream mixedStream(int rounds);
// Navigation and satellite messages alternating, as the receiver sends unprompted.
BenchStream navSatStream(int rounds);
// One frame of the type, with a payload that changes with `step`.
QByteArray benchFrame(quint8 type, int step);
