#pragma once

#include <QDateTime>

// The computer's local date and time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};
