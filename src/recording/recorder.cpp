#include "recording/recorder.h"

#include "link/framer.h"
#include "link/gpsmain.h"
#include "platform/clock.h"
#include "platform/serialport.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

Recorder::Recorder(GPS_Main &g, SerialPort &port, QObject *parent) : QObject(parent), m_g(g)
{
    connect(&port, &SerialPort::received, this, &Recorder::received);
    connect(&port, &SerialPort::commEvent, this, &Recorder::lineEvent);
    connect(&g, &GPS_Main::frameSent, this, &Recorder::sent);
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &Recorder::checkStillThere);
}

Recorder::~Recorder() = default;

bool Recorder::start(const QString &path, const QStringList &comments)
{
    stop();
    m_error.clear();
    if (QFileInfo(path).isDir()) {
        m_error = QStringLiteral("%1 is a folder").arg(path);
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = file->errorString();
        return false;
    }
    auto writer = std::make_unique<RecordingWriter>(*file);
    QStringList header{QStringLiteral("made by: Kestrel " KESTREL_VERSION ", File, Record"),
                       QStringLiteral("started: %1")
                           .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs))};
    header += comments;
    if (!writer->writeHeader(header)) {
        m_error = writer->errorString();
        file->close();
        QFile::remove(path);
        return false;
    }
    m_path = path;
    m_startMs = m_g.clock().monotonicMs();
    m_size = file->size();
    m_file = std::move(file);
    m_writer = std::move(writer);
    m_watch.start();
    return true;
}

void Recorder::stop()
{
    m_watch.stop();
    m_writer.reset();
    if (m_file)
        m_file->close();
    m_file.reset();
}

qint64 Recorder::elapsedMs() const
{
    return m_g.clock().monotonicMs() - m_startMs;
}

void Recorder::check(bool written)
{
    if (!m_file)
        return;
    m_size = m_file->size();
    if (written)
        return;
    m_error = m_writer->errorString();
    stop();
    emit failed(m_error);
}

void Recorder::checkStillThere()
{
    if (!m_writer || !m_writer->fileDeleted())
        return;
    m_error = QStringLiteral("the file was deleted while it was being written");
    stop();
    emit deleted();
}

void Recorder::received(const QByteArray &bytes)
{
    if (m_writer && !bytes.isEmpty())
        check(m_writer->writeChunk(elapsedMs(), bytes));
}

void Recorder::sent(const QByteArray &frame)
{
    if (m_writer && !frame.isEmpty())
        check(m_writer->writeSent(elapsedMs(), frame));
}

void Recorder::lineEvent(int code)
{
    // Line events are kept as comments, as kestrelctl record keeps them.
    if (m_writer && code != CommEvent::Receive)
        check(m_writer->writeComment(
            QStringLiteral("%1 ms: %2").arg(elapsedMs()).arg(lineEventText(code))));
}

QString Recorder::statusText() const
{
    if (!recording())
        return {};
    return QStringLiteral("Recording %1, %2")
        .arg(QFileInfo(m_path).fileName(),
             QLocale::c().formattedDataSize(m_size, 1, QLocale::DataSizeSIFormat));
}
