#pragma once

#include "recording/recording.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class Clock;
class GPS_Main;
class SerialPort;

// Records the link as the program sees it: every byte received, every frame the
// program sends (as «# sent» lines) and the line events, in the recording format,
// flushed line by line so that a crash or a pulled plug loses at most the last line.
class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(GPS_Main &g, SerialPort &port, QObject *parent = nullptr);
    ~Recorder() override;

    // Begins a new recording at `path`, replacing a file there. False, with nothing
    // recorded, when the file cannot be written; errorString() says why.
    bool start(const QString &path, const QStringList &comments = {});
    void stop();
    bool recording() const { return m_file != nullptr; }
    QString path() const { return m_path; }
    // Bytes written to the file so far.
    qint64 size() const { return m_size; }
    QString errorString() const { return m_error; }
    // «Recording trip.krec, 12.3 kB», empty when not recording.
    QString statusText() const;

signals:
    // Writing failed under way (disk full, the medium gone): the recording stopped,
    // holding everything before.
    void failed(const QString &error);
    // The file was deleted while it was written: the recording stopped, and nothing
    // of it is left.
    void deleted();

private:
    void received(const QByteArray &bytes);
    void sent(const QByteArray &frame);
    void lineEvent(int code);
    qint64 elapsedMs() const;
    void check(bool written);
    void checkStillThere();

    GPS_Main &m_g;
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<RecordingWriter> m_writer;
    QString m_path;
    QString m_error;
    qint64 m_startMs = 0;
    qint64 m_size = 0;
    // Writing into a deleted file succeeds until the recording ends with nothing: the
    // file is looked at once a second.
    QTimer m_watch;
};
