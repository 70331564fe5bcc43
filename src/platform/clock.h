#pragma once

#include <QDateTime>
#include <chrono>

// The computer's local date and time, and a clock for ages and time-outs.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // Milliseconds that only ever go forward: the date and time can be set back under
    // a running program, and an age must not turn negative then.
    virtual qint64 monotonicMs() const
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    // The computer's UTC in milliseconds since 1970, -1 where it is not known (a replay
    // of a recording that does not say when it was made).
    virtual qint64 utcMs() const { return QDateTime::currentMSecsSinceEpoch(); }
};
