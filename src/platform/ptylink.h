#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Opens a pseudo-terminal with its slave side in raw mode (no echo, a carriage return
// stays 13) and a non-blocking master; both close on exec. On failure returns false
// with the system's reason in error.
bool openRawPty(int &master, int &slave, QString &slavePath, QString &error);

// Makes `link` a symbolic link to `target`. An old symbolic link there is replaced;
// anything else is left alone and refused. On failure returns false with a message.
bool replaceSymlink(const QString &link, const QString &target, QString &error);

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
