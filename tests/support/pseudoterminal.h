#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal: the program opens the slave side as its serial port,
// the test plays the receiver on the master side.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // Writes bytes on the receiver's side.
    bool write(const QByteArray &bytes);
    // Reads what the program sent, waiting up to timeoutMs for at least `atLeast` bytes
    // while the Qt event loop keeps running.
    QByteArray read(int atLeast, int timeoutMs = 2000);
    // Stops, or lets go on, what the program's side writes, as XOFF and XON would. It
    // acts through the slave side held since the start: the program's port takes the
    // terminal for itself once opened, and only root could open it again.
    bool holdOutput(bool hold);
    // Closes the master side: the slave side sees the device vanish.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1; // held open so that the slave keeps its settings between opens
    QString m_slavePath;
};
