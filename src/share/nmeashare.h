#pragma once

#include "link/dispatcher.h"
#include "share/nmeaserver.h"
#include "share/nmeastream.h"

#include <QObject>
#include <QString>

class GPS_Main;
class SettingsStore;

// "Share as NMEA": whether the program serves the receiver's messages as NMEA
// sentences, and on which loopback port. Off unless the user turned it on.
struct NmeaShareSetting {
    // The port registered for NMEA 0183 over TCP.
    static constexpr quint16 kDefaultPort = 10110;
    bool enabled = false;
    quint16 port = kDefaultPort;

    // A stored value that is no port (or no yes/no) reads as the default.
    static NmeaShareSetting load(const SettingsStore *store);
    void save(SettingsStore *store) const;
};

// While the program shows the receiver, the same sentences kestrelctl nmea writes go
// to every local TCP client: each good frame the program receives is turned into
// sentences as it arrives, so a slow client costs the receive path nothing.
class NmeaShare : public QObject {
    Q_OBJECT
public:
    explicit NmeaShare(GPS_Main &g, QObject *parent = nullptr);

    // Serves on the address, replacing what was served before; false with `error`
    // when the port cannot be had.
    bool start(const LoopbackAddress &address, QString &error);
    void stop();
    bool serving() const { return m_server.isListening(); }
    NmeaServer &server() { return m_server; }
    // «127.0.0.1:10110, 2 clients» or «off».
    QString stateText() const;

private:
    void onFrame(QByteArrayView frame);

    GPS_Main &m_g;
    NmeaServer m_server;
    NmeaStream m_stream;
    FrameDispatcher::Subscription m_frames;
};
