#include "streams.h"

namespace {

int lengthOf(quint8 type)
{
    switch (type) {
    case 0xC3:
    case 0xC4:
        return 11;
    case 0xC5:
    case 0xC6:
        return 46;
    case 0xCA:
        return 44;
    case 0xCB:
        return 50;
    default:
        return 4;
    }
}

quint8 bcd(int v)
{
    return quint8((v / 10 % 10) << 4 | v % 10);
}

void put32(QByteArray &f, int position, qint32 v)
{
    for (int i = 0; i < 4; ++i)
        f[position - 1 + i] = char(quint8(quint32(v) >> (24 - 8 * i)));
}

void put16(QByteArray &f, int position, qint16 v)
{
    f[position - 1] = char(quint8(quint16(v) >> 8));
    f[position] = char(quint8(v));
}

} // namespace

QByteArray benchFrame(quint8 type, int step)
{
    const int length = lengthOf(type);
    QByteArray f(length, '\0');
    f[0] = char(type);
    f[1] = char(type);
    // Filler bytes: the data windows' messages vary from frame to frame, so no text is
    // the same twice in a row; navigation and satellite messages change as a receiver's
    // do, their fields set below and the rest steady.
    const bool steady = type == 0xCA || type == 0xCB;
    quint32 x = 2463534242u ^ quint32((steady ? 0 : step * 7919) + type);
    for (int p = 3; p <= length - 2; ++p) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        f[p - 1] = char(quint8(x));
    }
    if (type == 0xCA) {
        // A moving 3D fix: coordinates DDDMM.mmmm x 9216, height, heading, BCD speed
        // and BCD date and time, satellites in use.
        f[2] = char(4);
        put32(f, 4, qint32((4722.2 + step % 600 * 0.0001) * 9216));
        put32(f, 8, qint32((832.4 + step % 900 * 0.0001) * 9216));
        put16(f, 12, qint16(840 + step % 20));
        put16(f, 16, qint16(step % 1024));
        f[18] = char(bcd(step % 100));
        f[19] = char(bcd(25));
        const int s = step % 86400;
        const quint8 t[6] = {bcd(26),       bcd(12),          bcd(7),
                             bcd(s / 3600), bcd(s / 60 % 60), bcd(s % 60)};
        for (int i = 0; i < 6; ++i)
            f[24 + i] = char(t[i]);
        f[32] = char(8);
        f[30] = char(5 + step / 50 % 3); // HDOP
        f[31] = char(7 + step / 70 % 3); // VDOP
    }
    if (type == 0xCB) {
        // Eight channels, slot k at positions 5k-1 .. 5k+3: number, state, level,
        // azimuth, elevation; signal levels move every few messages, the sky slowly.
        f[2] = char(8);
        for (int k = 1; k <= 8; ++k) {
            const int p = 5 * k - 1;
            f[p - 1] = char(2 + 3 * k);
            f[p] = char(k % 3 == 0 ? 0x37 : 0x8F);
            f[p + 1] = char(120 + (step / 8 + 5 * k) % 40);
            f[p + 2] = char(k * 32 + step / 600);
            f[p + 3] = char(20 + 12 * k + step / 900 % 8);
        }
        f[43] = char(12);
        f[44] = char(0xFF);
        f[45] = char(0xFE);
        f[46] = char(0xFF);
        f[47] = char(0x7F);
    }
    quint8 sum = 0;
    for (int i = 0; i < length - 2; ++i)
        sum = quint8(sum + quint8(f[i]));
    f[length - 2] = char(quint8(256 - sum));
    f[length - 1] = '\r';
    return f;
}

BenchStream mixedStream(int rounds)
{
    static constexpr quint8 kRound[] = {0xCA, 0xCB, 0xC6, 0xC3, 0xC4, 0xC5, 0xB7};
    BenchStream s;
    for (int r = 0; r < rounds; ++r) {
        for (quint8 type : kRound) {
            s.bytes += benchFrame(type, r);
            ++s.frames;
        }
    }
    return s;
}

BenchStream navSatStream(int rounds)
{
    BenchStream s;
    for (int r = 0; r < rounds; ++r) {
        s.bytes += benchFrame(0xCA, r);
        s.bytes += benchFrame(0xCB, r);
        s.frames += 2;
    }
    return s;
}
