#pragma once

#include "recording/recording.h"
#include "recording/replaypacer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Plays a recording into a pseudo-terminal with its recorded timing. Playing starts
// once a program has opened the terminal, so it gets every byte from the first.
class Replay : public QObject {
    Q_OBJECT
public:
    Replay(ReplayLines lines, double speed, QObject *parent = nullptr);
    ~Replay() override;

    bool open();
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    void start();

signals:
    void finished(qint64 bytes);

private:
    void step();
    bool readerPresent() const;

    ReplayPacer m_pacer;
    int m_master = -1;
    QString m_slavePath;
    QString m_error;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_readerSeenMs = -1;
    qint64 m_playedMs = 0;
    QByteArray m_pending;
    qint64 m_written = 0;
    bool m_done = false;
};
