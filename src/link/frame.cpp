#include "link/frame.h"

#include "link/hextext.h"

#include <algorithm>

Frame Frame::fromBytes(QByteArrayView bytes, bool good, qint64 arrivedMs)
{
    Frame f;
    f.length = quint8(std::min<qsizetype>(bytes.size(), kMaxLength));
    std::copy_n(reinterpret_cast<const quint8 *>(bytes.data()), f.length, f.data.begin());
    f.good = good;
    f.arrivedMs = arrivedMs;
    return f;
}

QString Frame::logLine() const
{
    return good ? QStringLiteral("CMD: ") + HexByte(type()) : QStringLiteral("ERR: CkSum");
}
