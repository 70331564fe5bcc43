#pragma once

#include "platform/serialport.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// The program's port: the real serial port, or another adapter for a device name
// that one claims (the simulated receiver). Which one is chosen at each open from the
// device set then, so nothing above this port knows which it talks to.
class SelectingSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit SelectingSerialPort(std::unique_ptr<SerialPort> fallback, QObject *parent = nullptr);
    ~SelectingSerialPort() override;

    // A device name this adapter claims. An offered one is listed in the port dialog;
    // the replay of a recording is chosen by File, Replay alone.
    enum class Offered { InPortDialog, No };
    void addDevice(const QString &name, std::unique_ptr<SerialPort> port,
                   Offered offered = Offered::InPortDialog);
    // An adapter for every device name `claims` says yes to (network addresses); never
    // offered in the port dialog.
    void addClaimingDevice(std::function<bool(const QString &)> claims,
                           std::unique_ptr<SerialPort> port);
    // The names claimed by adapters and offered in the port dialog, in the order added.
    QStringList offeredDevices() const override;
    // The adapter the last open chose (the fallback before any).
    SerialPort &active() const { return *m_active; }

    bool PortOpen() const override { return m_active->PortOpen(); }
    bool open() override;
    bool opening() const override { return m_active->opening(); }
    void close() override;
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override
    {
        return m_active->Output(bytes, owner);
    }
    bool outputPending(const void *owner) const override { return m_active->outputPending(owner); }
    void dropWaiting(const void *owner) override { m_active->dropWaiting(owner); }
    qint64 bytesWaiting() const override { return m_active->bytesWaiting(); }
    QString errorString() const override { return m_active->errorString(); }
    const Clock *timeSource() const override { return m_active->timeSource(); }
    // Whether the device set now is a serial line, before or after an open.
    bool isSerialLine() const override;

private:
    void join(SerialPort &port);
    SerialPort &chosen() const;

    struct Named {
        QString name;
        std::unique_ptr<SerialPort> port;
        Offered offered;
        std::function<bool(const QString &)> claims;
    };

    std::unique_ptr<SerialPort> m_fallback;
    std::vector<Named> m_named;
    SerialPort *m_active = nullptr;
};
