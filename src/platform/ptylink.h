#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The master side of a pseudo-terminal, for playing a device that a program opens
// as a serial port at slavePath(). Bytes the program writes arrive as received();
// write() sends bytes to it. The link holds the slave side open itself, so that the
// device lives on while the program closes and reopens it. POSIX only.
class PtyLink : public QObject {
    Q_OBJECT
public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    // Opens a new pseudo-terminal in raw mode; false (with errorString) on failure.
    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Writes what the terminal takes now. When nobody reads the other side, the stale
    // bytes waiting there are thrown away first, as a device talks on whether anyone
    // listens or not. Returns the bytes that could not be written.
    qsizetype write(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);

private:
    void onReadable();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
    QSocketNotifier *m_notifier = nullptr;
};
