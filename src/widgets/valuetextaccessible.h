#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QAccessibleInterface;

// A value control as a screen reader sees it: static text named by its caption (the
// QLabel whose buddy it is, or its accessible name), its text as its value, and a text
// interface with the selection. A QAccessible factory: null for any other object.
QAccessibleInterface *valueTextAccessible(const QString &className, QObject *object);

// The time a control's announcements to a screen reader are counted in, and the wake-up
// when one held back is due: the steady clock and a timer, or a test's hand-moved clock.
class AnnouncementClock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual qint64 nowMs() const;
    // `woke` once, `ms` from now, in place of any wake-up still to come.
    virtual void wakeIn(int ms);

signals:
    void woke();

private:
    QTimer m_timer;
};
