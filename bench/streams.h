#pragma once

#include <QByteArray>
#include <QtGlobal>

// Byte streams for the benchmarks, made by the simulated receiver: whole frames with
// good checksums, back to back, their contents changing as a moving receiver's do.
struct BenchStream {
    QByteArray bytes;
    int frames = 0;
};

// Every received type in the proportions of a busy receiver with every data window
// open: per round (a tenth of a second of the receiver's time) a navigation and a
// satellite message, one of each data window's messages and an acknowledgement.
BenchStream mixedStream(int rounds);
// Navigation and satellite messages alternating, as the receiver sends them unprompted.
BenchStream navSatStream(int rounds);

// The simulated receiver's messages one after another, its time stepping on by
// `stepMs` for every call of next().
class BenchReceiver {
public:
    explicit BenchReceiver(int stepMs);
    ~BenchReceiver();
    BenchReceiver(const BenchReceiver &) = delete;
    BenchReceiver &operator=(const BenchReceiver &) = delete;

    // Moves the receiver's time on by one step.
    void next();
    QByteArray navigation() const;
    QByteArray satellites() const;
    QByteArray condition() const;
    QByteArray mode() const;
    QByteArray diagnosis() const;
    QByteArray timeStamps() const;
    // An acknowledgement frame of type B7.
    static QByteArray acknowledgement();

private:
    struct Parts;
    Parts *m_parts;
};
