#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <array>

class GPS_Main;

// The receiver's messages taken apart once, into the numbers the receiver reports and
// the same in units. Every reader (the windows' decoders, the sky plot's table, NMEA,
// the command-line tools) starts from these. A frame is given whole as received:
// frame[0] is frame position 1; bytes missing from a short frame read as zero.

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

    // Whether satellite `number` (1..32) is one of those the fix was computed from:
    // satellite n is bit (n - 1) % 8 of satUse[(n - 1) / 8].
    bool usesSatellite(int number) const
    {
        return number >= 1 && number <= 32 &&
               (satUse[std::size_t((number - 1) / 8)] >> ((number - 1) % 8) & 1);
    }
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

// A coordinate of the condition message: four bytes of BCD digits, degrees, minutes
// and seconds, with the hemisphere flag in the first nibble (0xA: north or east). The
// longitude's first byte also holds its hundreds digit; the latitude's holds nothing
// else, its degrees are the second byte.
struct ConditionAngle {
    std::array<quint8, 4> bcd{}; // as reported
    bool positive = false;
    int degrees = 0, minutes = 0, seconds = 0;
    double degreesDecimal = 0; // negative south and west
};

// The condition message. Counts, height, coordinates and date come as packed BCD;
// the numbers here are those digits read as decimal, up to a nibble that is no digit.
struct ConditionMessage {
    quint8 state = 0;                     // position 3; the low four bits are the receiver state
    int receiverState = 0;                // those four bits
    quint8 healthRaw = 0, visibleRaw = 0; // positions 4 and 5
    int healthSatellites = 0;
    int visibleSatellites = 0;
    quint8 heightSignRaw = 0; // position 6: 0xAA is "+", anything else "-"
    bool heightPositive = false;
    std::array<quint8, 2> heightBcd{}; // positions 7-8, metres
    int heightM = 0;                   // signed
    ConditionAngle longitude;          // positions 9-12
    ConditionAngle latitude;           // positions 15-18
    BcdDateTime utc;                   // positions 21-26
    // Positions 27-42: eight pairs of satellite number and signal level, the bytes as
    // reported (the window shows each as two hexadecimal digits).
    struct Pair {
        quint8 satellite = 0;
        quint8 level = 0;
    };
    std::array<Pair, 8> pairs{};
};

ConditionMessage parseCondition(QByteArrayView frame);

// The mode message: the receiver's fix settings.
struct ModeMessage {
    quint8 fixModeRaw = 0;   // position 3: 0 2D only, 1 3D only, else automatic
    int minElevationDeg = 0; // position 4
    quint8 minSignalRaw = 0; // position 5, fifths of a dB
    double minSignalDb = 0;
    quint8 pdopLimitRaw = 0; // position 6: 0 for 5, 1 for 10, else 20
    int pdopLimit = 0;
    quint8 flags = 0;                  // position 7
    int smoothingS = 0;                // bits 0-1: 2 s, 5 s, else none (0)
    bool searchMode = false;           // bit 7 clear
    bool searchFinished = false;       // bit 6 clear
    std::array<quint8, 2> heightBcd{}; // positions 8-9: four BCD digits of half metres
    double heightM = 0;
};

ModeMessage parseMode(QByteArrayView frame);

// The diagnosis message: the firmware version and the self-test results.
struct DiagnosisMessage {
    std::array<quint8, 2> version{}; // positions 3-4, shown as hexadecimal digits
    quint8 revision = 0;             // position 5, the revision letter's code
    quint8 extra = 0;                // position 6, meaning unknown
    std::array<quint8, 3> errors{};  // positions 7-9, self-test error codes (0 none)
    quint8 checksum = 0;             // position 10
};

DiagnosisMessage parseDiagnosis(QByteArrayView frame);

// The time-stamp message: when each of 21 receiver events last happened, as unsigned
// counts of ten-minute steps from 1 January 1999 00:00 UTC.
constexpr int kTimeStampItems = 21;
constexpr int kTimeStampStepMinutes = 10;

struct TimeStampMessage {
    std::array<quint16, kTimeStampItems> steps{}; // item k at positions 3+2k, 4+2k
};

TimeStampMessage parseTimeStamps(QByteArrayView frame);
