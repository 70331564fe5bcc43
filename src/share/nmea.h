#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// NMEA 0183 sentences from the receiver's navigation and satellite
// messages, for programs that read a standard GPS (gpsd, chrony, chart plotters).
// Frames are whole frames as received: frame[0] is the first type byte.

// What the sentences take from a navigation message.
struct NmeaFix {
    int fixState = 0;     // low four bits of the status byte: 3 is 2D, 4 is 3D
    qint32 latitude = 0;  // DDMM.mmmm x 9216, signed (south negative)
    qint32 longitude = 0; // DDDMM.mmmm x 9216, signed (west negative)
    double heightM = 0;   // metres
    double courseDeg = 0; // true heading, 0 to below 360
    double speedKmh = 0;  // the message's speed field, which is in km/h
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; // UTC, two-digit year
    double hdop = 0, vdop = 0;
    int satCount = 0;
    // The position lies beyond ±90° latitude or ±180° longitude: no fix to pass on.
    bool offTheEarth = false;

    bool hasFix() const { return (fixState == 3 || fixState == 4) && !offTheEarth; }
};

// One tracked channel of a satellite message.
struct NmeaSatellite {
    int prn = 0;
    bool inFix = false;   // the channel's state is Fix
    bool tracked = false; // beyond searching: its signal level means something
    int elevationDeg = 0; // 0..90
    int azimuthDeg = 0;   // 0..359
    int snr = 0;          // the signal level, rounded
};

NmeaFix nmeaFixFromFrame(QByteArrayView navigationFrame);
// The non-empty channels, in frame order.
QList<NmeaSatellite> nmeaSatellitesFromFrame(QByteArrayView satelliteFrame);

// The two hexadecimal digits of the XOR of every character between "$" and "*".
QByteArray nmeaChecksum(QByteArrayView body);
// "$", the body, "*", its checksum and CR LF.
QByteArray nmeaSentence(QByteArrayView body);

// The coordinate fields: «4722.2000,N» and «00832.4000,E».
QByteArray nmeaLatitude(qint32 raw);
QByteArray nmeaLongitude(qint32 raw);

// The sentences for one navigation message, in the order a receiver sends them: GGA,
// GSA, GSV (when a satellite message has been seen), RMC, VTG.
QList<QByteArray> nmeaSentences(const NmeaFix &fix, const QList<NmeaSatellite> &satellites,
                                bool haveSatellites);
