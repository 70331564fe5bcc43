#pragma once

#include "link/dispatcher.h"
#include "link/framer.h"
#include "link/linkstate.h"
#include "link/units.h"
#include "platform/clock.h"
#include "platform/platform.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <array>

class SerialPort;
class NmeaShare;

// The state every window shares: the framer (which alone holds RxBuffer) and the
// dispatcher of its frames, the command buffer, message and satellite tables, the
// data windows' open flags and the display settings. The entry procedure creates one
// and hands it to whoever needs it.
class GPS_Main : public QObject {
    Q_OBJECT
public:
    explicit GPS_Main(const Platform &platform, QObject *parent = nullptr);

    static constexpr int kCmdSize = 11;

    // The latest good navigation frame at its positions 1..44, all zero before the
    // first: a satellite frame follows every navigation frame, and the satellite
    // pictures mark the satellites of the fix from it.
    std::array<quint8, 45> LastNavigation{};
    // [0] payload count, [1..10] payload of the next SendCommand.
    std::array<quint8, kCmdSize> CmdBuffer{};
    // Rows 1..15: [1] type byte, [2] total frame length.
    MessageTable MsgTable{};
    // Rows 1..8, columns 1..5: number, colour, level, azimuth turn, elevation/256.
    std::array<std::array<double, 6>, 9> SatTable{};

    bool PositionOpen = false;
    bool ConditionOpen = false;
    bool DiagnosisOpen = false;
    bool ModeOpen = false;
    bool TimeStampOpen = false;
    bool RecSatOpen = false;

    qint16 TimeZoneIndex = 5;
    // Local times follow the computer's zone rules instead of TimeZoneIndex.
    bool ComputerTimeZone = false;
    qint16 SatLabelMode = 0;
    double HeadingFraction = 0;
    float HeadingLineLength = 0;

    // The zone local times are shown in: TimeZoneIndex, or kComputerTimeZone.
    int shownTimeZone() const { return ComputerTimeZone ? kComputerTimeZone : TimeZoneIndex; }
    // View, Units: how positions, heights and speeds are shown.
    const Units &units() const { return m_units; }
    void setUnits(const Units &units);

    const Platform &platform() const { return m_platform; }

    // The port's state, the age of the data and the fate of the last command, as the
    // status line shows them.
    LinkState &link() { return m_link; }
    // The platform's clock, or the computer's where the platform brings none.
    const Clock &clock() const { return m_platform.clock ? *m_platform.clock : m_ownClock; }
    // The clock the received data is timed by: clock() for a live port, the
    // recording's own time while one is played. Ages, the time to first fix and the
    // History axis run on it.
    const Clock &dataClock() const { return m_dataClock; }
    const LinkState &link() const { return m_link; }

    // Every completed frame, to whoever subscribes, in subscription order.
    FrameDispatcher &frames() { return m_dispatcher; }
    // Where the received bytes stand: mid-frame or hunting for a type byte.
    const Framer &framer() const { return m_framer; }

    // The serial port (MSComm1); owned by whoever created it.
    void setPort(SerialPort *port) { m_port = port; }
    SerialPort *MSComm1() const { return m_port; }

    // The NMEA shared with other programs (Setup, Share as NMEA); owned by whoever
    // created it, absent without windows.
    void setNmeaShare(NmeaShare *share) { m_nmeaShare = share; }
    NmeaShare *nmeaShare() const { return m_nmeaShare; }

    // Frames without payload: command, command, checksum, 13. False when the port
    // was not open and nothing was written. A window passes itself as the owner so
    // that it can ask after its frames and take back those still waiting.
    bool SendRequest(int command, const void *owner = nullptr);
    // Frames with the CmdBuffer payload.
    bool SendCommand(int command, const void *owner = nullptr);
    // Whether a frame of this owner has not yet been handed to the line in full.
    bool sending(const void *owner) const;
    // Takes back this owner's frames that have not begun to go out.
    void dropWaiting(const void *owner);
    bool portOpen() const;

    // Received bytes, in order, each stepped through the framer; each completed frame
    // goes to the link state, then to the subscribers, then to the log.
    void OnReceive(const QByteArray &bytes);
    void receive(QByteArrayView bytes);
    // A serial line event by its code.
    void OnCommEvent(int code);

    // The log box ErrorDis: newest line first. A frame's line cuts the whole log
    // to its first 100 characters; other lines do not.
    const QString &ErrorDis() const { return m_errorDis; }
    void prependLog(const QString &line);
    void logFrame(const QString &line);

signals:
    void errorDisChanged(const QString &text);
    // A frame was written to the port (or refused because it was closed).
    void frameSent(const QByteArray &frame);
    // A log line that is no frame's: a line event, the port lost or back, a command
    // not sent.
    void logged(const QString &line);
    void unitsChanged();

private:
    bool write(const QByteArray &frame, const void *owner);
    void prepend(const QString &line, qsizetype limit);

    // The port's own clock when it brings one, otherwise the program's.
    class DataClock : public Clock {
    public:
        explicit DataClock(const GPS_Main &g) : m_g(g) {}
        QDateTime now() const override { return m_g.clock().now(); }
        qint64 monotonicMs() const override;
        qint64 utcMs() const override;

    private:
        const GPS_Main &m_g;
    };

    Platform m_platform;
    // The clock for ages where the platform brings none (command-line tools).
    Clock m_ownClock;
    DataClock m_dataClock{*this};
    LinkState m_link;
    Framer m_framer{MsgTable};
    FrameDispatcher m_dispatcher;
    SerialPort *m_port = nullptr;
    NmeaShare *m_nmeaShare = nullptr;
    Units m_units;
    QString m_errorDis;
};
