#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// Opens a pseudo-terminal with its slave side in raw mode (no echo, a carriage return
// stays 13) and a non-blocking master; both close on exec. On failure returns false
// with the system's reason in error.
bool openRawPty(int &master, int &slave, QString &slavePath, QString &error);

// Makes `link` a symbolic link to `target`. An old symbolic link there is replaced;
// anything else is left alone and refused. On failure returns false with a message.
bool replaceSymlink(const QString &link, const QString &target, QString &error);

// The master side of a pseudo-terminal, for playing a device that a program opens
// as a serial port at slavePath(). Bytes the program writes arrive as received();
// write() sends bytes to it. Only programs hold the slave side, so that the master
// sees whether one has it open: nothing is written while none has, and the device
// lives on while a program closes and reopens it. POSIX only.
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
    // True while a program has the terminal (the slave side) open.
    bool readerPresent() const { return m_readerPresent; }

    // Writes what the terminal takes now. While no program has it open nothing is
    // written, so that the next one does not start with a backlog; when one has it
    // open but does not read, the stale bytes waiting there are thrown away first, as
    // a device talks on whether anyone listens or not. Returns the bytes not written.
    qsizetype write(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);
    // A program opened the terminal (true), or the last one closed it (false).
    void readerChanged(bool present);

private:
    void onReadable();
    // Looks whether a program has the terminal open and tells a change; the result.
    bool checkReader();
    // Empties what waits to be read on the slave side, all of it or above `keep` bytes.
    void flushWaiting(int keep);

    int m_master = -1;
    QString m_slavePath;
    QString m_error;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_watch = nullptr;
    bool m_readerPresent = false;
};
