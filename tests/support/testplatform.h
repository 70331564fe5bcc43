#pragma once

#include "platform/clock.h"
#include "platform/messageboxes.h"
#include "platform/platform.h"
#include "platform/serialport.h"
#include "platform/settingsstore.h"

#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// Message boxes answered by a script; every box shown is recorded.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text, title;
        MsgButtons buttons;
        MsgIcon icon;
        MsgAnswer defaultButton;
    };
    QList<MsgAnswer> answers; // taken from the front; Ok or the default when empty
    QList<Shown> shown;
    // Run while a box is "open", as a modal box runs the event loop until answered.
    std::function<void()> whileShown;

    MsgAnswer show(QWidget *parent, const QString &text, const QString &title, MsgButtons buttons,
                   MsgIcon icon, MsgAnswer defaultButton) override;
};

class FakeClock : public Clock {
public:
    QDateTime time = QDateTime(QDate(2026, 12, 7), QTime(12, 34, 56));
    QDateTime now() const override { return time; }
    qint64 monotonicMs() const override { return time.toMSecsSinceEpoch(); }
    qint64 utcMs() const override { return time.toMSecsSinceEpoch(); }
};

// A serial port with no device behind it: records what is written, is fed by the
// test, and can be told to refuse opening or to report line events.
class FakeSerialPort : public SerialPort {
    Q_OBJECT
public:
    bool refuseOpen = false;
    bool slowToReach = false; // opens as a network receiver that never answers
    bool isOpenNow = false;
    int opens = 0;
    QByteArray written;
    QList<QString> openedSettings;

    bool PortOpen() const override { return isOpenNow; }
    bool opening() const override { return isOpenNow && slowToReach; }
    bool open() override;
    void close() override { isOpenNow = false; }
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override;
    void feed(const QByteArray &bytes) { emit received(bytes); }
    void event(int code) { emit commEvent(code); }
    void unplug()
    {
        isOpenNow = false;
        emit lost();
    }
};

// Everything a test needs of the platform: the per-user settings store pointed at
// a temporary folder, scripted message boxes, a settable clock and a recorded end.
class TestPlatform {
public:
    TestPlatform();
    ~TestPlatform();

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    ScriptedMessageBoxes boxes;
    FakeClock clock;
    QList<int> endCalls;
    Platform platform;
};
