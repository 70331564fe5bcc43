#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QtGlobal>
#include <array>
#include <optional>
#include <random>

class Clock;

// Where a receiver standing still stands: decimal degrees and metres above the ellipsoid.
struct StaticPosition {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double heightM = 0;
};

// «LAT,LON,H» as --static takes it: decimal degrees, latitude -90..90, longitude
// -180..180, height -1000..9000 m (what the navigation message's height can carry).
// Anything else is nullopt with `error` saying what was wrong.
std::optional<StaticPosition> parseStaticPosition(const QString &text, QString &error);

// How the simulated receiver behaves on the line.
struct SimulatorOptions {
    // Milliseconds between the unprompted navigation and satellite messages; 0 sends none.
    // They go out on the receiver's whole UTC seconds (and every interval between them
    // when it is shorter), as a receiver sends the fix of the second that just began.
    int intervalMs = 1000;
    // Chances per frame (0..1) of line faults, drawn from a generator seeded with `seed`
    // so that a run can be repeated byte for byte.
    double garbageRate = 0;  // a few noise bytes before the frame
    double corruptRate = 0;  // the checksum byte is wrong
    double truncateRate = 0; // the frame stops short and the line breaks for the rest of it
    quint32 seed = 1;
    // A receiver standing still here instead of driving a circle: its fixes scatter
    // about this point as a real antenna's do (see StaticNoise), drawn from `seed`.
    std::optional<StaticPosition> stationary;
};

// The error of a standing receiver's fixes: east, north and up metres, each a
// first-order Gauss-Markov process (the error wanders and is correlated over tens of
// seconds, as multipath and the atmosphere make it), stepped once a second on a grid
// from the start, so the same seed gives the same cloud however often it is looked at.
class StaticNoise {
public:
    // One-sigma errors and the time over which they stay correlated.
    static constexpr double kHorizontalSigmaM = 1.5;
    static constexpr double kVerticalSigmaM = 3.0;
    static constexpr double kCorrelationS = 20.0;

    explicit StaticNoise(quint32 seed);
    // The error `seconds` whole seconds after the start; stepping backwards starts over.
    std::array<double, 3> at(qint64 seconds);

private:
    quint32 m_seed;
    std::mt19937 m_rng;
    qint64 m_second = -1;
    std::array<double, 3> m_enu{};
};

// One frame as the simulator put it on the line.
struct SentFrame {
    enum class Kind { Intact, BadChecksum, Truncated };
    quint8 type = 0;
    Kind kind = Kind::Intact;
    int garbageBefore = 0; // noise bytes sent just before it
};

// The simulator's own account of what it sent, for tests to hold the program against.
struct SimulatorRecord {
    QList<SentFrame> frames;
    qint64 garbageBytes = 0;

    // type 0 counts every type.
    int intact(quint8 type = 0) const;
    int damaged(quint8 type = 0) const;
};

// A GPS receiver board in software: it keeps a plausible state (a position moving
// along a track, eight channels acquiring satellites that move across the sky, the
// receiver's settings and time stamps), answers every request the program sends,
// applies its commands and sends navigation and satellite messages on its own.
// Time comes from the clock it is given, so tests step it without waiting. Bytes
// for the line collect in a queue that the caller drains at the line's speed.
class Simulator {
public:
    explicit Simulator(const Clock &clock, SimulatorOptions options = {});

    // Bytes from the program, in any pieces; each complete command takes effect at once.
    void receive(const QByteArray &bytes);
    // Queues the unprompted messages that are due by now.
    void poll();
    // Takes up to maxBytes from the line queue (everything when maxBytes is negative).
    QByteArray take(qsizetype maxBytes = -1);
    qsizetype pending() const { return m_out.size() - m_outPos; }
    // Empties the line queue (the port was closed).
    void discardPending();
    // Changes the interval of the unprompted messages (0 stops them).
    void setIntervalMs(int ms);
    // Above this many waiting bytes the unprompted messages are skipped, as a receiver
    // on a line too slow for its message rate drops them.
    void setBacklogLimit(qsizetype bytes) { m_backlogLimit = bytes; }

    const SimulatorRecord &record() const { return m_record; }
    // Type bytes of the commands received intact, in order.
    const QList<quint8> &commandsReceived() const { return m_commands; }
    // Frames from the program that were damaged or unknown and were ignored.
    int rejectedCommands() const { return m_rejected; }

    // The state as the next navigation message will show it.
    int fixState() const;
    double heightMetres() const { return m_heightHalves / 2.0; }
    // The position the next navigation message reports: a standing receiver's point with
    // its error added; the track's position otherwise.
    std::array<double, 3> reportedPosition() const;
    double latitudeDegrees() const;
    double longitudeDegrees() const;
    QDateTime receiverTimeUtc() const;
    bool searchModeReset() const { return m_searchReset; }
    // Seconds since acquisition last started (start, cold start or reset).
    double acquisitionSeconds() const;

    // The messages as they would be sent now, without faults and not recorded.
    QByteArray navigationFrame() const;
    QByteArray satelliteFrame() const;
    QByteArray conditionFrame() const;
    QByteArray modeFrame() const;
    QByteArray diagnosisFrame() const;
    QByteArray timeStampFrame() const;

    // A receiver's coordinate as the messages carry it: DDDMM.mmmm x 9216.
    static qint32 scaledCoordinate(double degrees);
    static double degreesFromScaled(qint32 raw);

private:
    struct Channel {
        quint8 prn = 0;
        quint8 state = 0; // 1 search, 3 track, 7 decode, 15 fix
        quint8 levelByte = 0;
        quint8 azimuthByte = 0;
        quint8 elevationByte = 0;
        double elevationDeg = 0;
        double levelDb = 0;
    };

    qint64 nowMs() const;
    // The receiver's own clock, in milliseconds since the epoch (UTC).
    qint64 receiverMs() const { return nowMs() + m_timeOffsetMs; }
    // The first moment at or after `ms`, on the receiver's clock, when unprompted
    // messages are due.
    qint64 slotAtOrAfter(qint64 ms) const;
    void advanceTrack() const;
    std::array<Channel, 8> channels() const;
    // Seconds between two channel reassignments once every satellite is in the fix.
    static constexpr double kReassignS = 120;
    int satsInFix() const;

    void handleCommand(const QByteArray &frame);
    void send(const QByteArray &frame);
    void acknowledge(quint8 type);
    void restartAcquisition();
    bool setTime(const QByteArray &payload);
    bool setPosition(const QByteArray &payload);

    const Clock &m_clock;
    SimulatorOptions m_options;
    std::mt19937 m_rng;
    qint64 m_startMs = 0;
    qint64 m_acquisitionStartMs = 0;
    qint64 m_nextUnpromptedMs = 0; // on the receiver's clock
    qint64 m_timeOffsetMs = 0;

    // The track: a wide circle at a steady speed. Moved forward lazily, whenever a
    // message or a caller looks at it.
    mutable double m_latDeg = 47.37, m_lonDeg = 8.54;
    mutable double m_headingDeg = 30;
    mutable qint64 m_trackMs = 0;
    double m_speedMs = 10; // metres per second
    double m_turnDegPerS = 0.5;
    qint16 m_heightHalves = 2 * 420;
    mutable std::optional<StaticNoise> m_noise;
    bool m_searchReset = false;
    std::array<quint16, 21> m_stamps{};

    QByteArray m_in;
    QByteArray m_out;
    qsizetype m_outPos = 0;
    qsizetype m_backlogLimit = 4096;
    SimulatorRecord m_record;
    QList<quint8> m_commands;
    int m_rejected = 0;
};
