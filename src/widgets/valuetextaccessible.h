#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

class QAccessibleEvent;
class QAccessibleInterface;

// A value control as a screen reader sees it: static text named by its caption (the
// QLabel whose buddy it is, or its accessible name), its text as its value, and a text
// interface with the selection. A QAccessible factory: null for any other object.
QAccessibleInterface *valueTextAccessible(const QString &className, QObject *object);

// Where a control's announcements go and the time they are counted in: Qt's accessibility
// with the steady clock and a timer, or a test's hand-moved clock that keeps what it is told.
class Announcer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool listening() const;
    virtual qint64 nowMs() const;
    // `woke` once, `ms` from now, in place of any wake-up still to come.
    virtual void wakeIn(int ms);
    // The value changed and its text, to the screen reader.
    virtual void tell(QWidget *control, const QString &text);

signals:
    void woke();

protected:
    // Qt's accessibility, which hands it to the screen reader.
    virtual void send(QAccessibleEvent *event);

private:
    QTimer m_timer;
    QString m_told;
};
