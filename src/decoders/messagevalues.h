#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <array>

// The navigation and satellite messages taken apart once, into the numbers the
// receiver reports and the same in units. Every reader (the windows' decoders, the
// sky plot's table, NMEA) starts from these. A frame is given whole as received:
// frame[0] is frame position 1; bytes missing from a short frame read as zero.

// A coordinate field is the ScaledCoordinate DDDMM.mmmm times 9216.
constexpr double kCoordinateScale = 9216.0;

// A UTC date and time as six packed BCD bytes, and the numbers they hold. A nibble
// above 9 is no digit: it ends the number there (0x5A reads as 5, 0xA5 as 0).
struct BcdDateTime {
    std::array<quint8, 6> bcd{}; // year, month, day, hour, minute, second as reported
    int year = 0;                // two digits
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct NavigationMessage {
    quint8 status = 0;          // position 3; the low four bits are the fix state
    int fix = 0;                // 0..2 satellites, 3 for 2D, 4 for 3D, above that invalid
    qint32 latitudeRaw = 0;     // positions 4-7, south negative
    qint32 longitudeRaw = 0;    // positions 8-11, west negative
    double latitudeScaled = 0;  // DDMM.mmmm
    double longitudeScaled = 0; // DDDMM.mmmm
    double latitudeDeg = 0;     // decimal degrees
    double longitudeDeg = 0;
    qint16 heightRaw = 0; // positions 12-13, half metres
    double heightM = 0;
    std::array<quint8, 2> errorEllipseRaw{}; // positions 14-15, units of 2 m
    std::array<double, 2> errorEllipseM{};
    qint16 headingRaw = 0;      // positions 16-17, 1024 to a full turn
    double headingTurn = 0;     // fraction of a full turn, 0.25 = east
    double headingDeg = 0;      // as the windows show it: may be negative
    quint8 headingErrorRaw = 0; // position 18, 256 to a quarter turn
    double headingErrorDeg = 0;
    std::array<quint8, 2> speedBcd{}; // positions 19-20: four BCD digits of quarter km/h
    double speedKmh = 0;
    quint8 speedErrorRaw = 0; // position 21, quarter km/h
    double speedErrorKmh = 0;
    std::array<quint8, 3> unusedA{}; // positions 22-24
    BcdDateTime utc;                 // positions 25-30
    quint8 hdopRaw = 0, vdopRaw = 0; // positions 31-32, fifths
    double hdop = 0, vdop = 0;
    int satellitesUsed = 0;               // position 33
    std::array<quint8, 4> satUse{};       // positions 34-37: one bit per satellite number
    std::array<quint8, 4> channelBytes{}; // positions 38-41: level and condition, two channels each
    quint8 unusedB = 0;                   // position 42
};

NavigationMessage parseNavigation(QByteArrayView frame);

// One channel of a satellite message; number 0 marks an empty channel.
struct SatelliteChannel {
    int number = 0;
    quint8 state = 0;     // bits 0..3 search, track, decode, fix; the high nibble is the accuracy
    quint8 levelRaw = 0;  // fifths of a dB
    quint8 azimuth = 0;   // 256 to a full turn
    quint8 elevation = 0; // 256 to half a turn
    double levelDb = 0;
    double azimuthDeg = 0;
    double elevationDeg = 0;
};

struct SatelliteMessage {
    std::array<SatelliteChannel, 8> channels{}; // channel k at positions 5k-1 .. 5k+3
    int elapsedDays = 0;                        // position 44
    std::array<quint8, 4> health{};             // positions 45-48, one bit per satellite
};

SatelliteMessage parseSatellites(QByteArrayView frame);
