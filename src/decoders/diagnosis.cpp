#include "decoders/diagnosis.h"

#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/messagevalues.h"

QString DiagErrorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("00h No Error");
    case 0x11:
        return QStringLiteral("11h ROM Error");
    case 0x12:
        return QStringLiteral("12h RAM Error");
    case 0x13:
        return QStringLiteral("13h RTC Error");
    case 0x41:
        return QStringLiteral("41h TCXO Error");
    case 0x51:
        return QStringLiteral("51h Antenna Open");
    case 0x53:
        return QStringLiteral("53h Antenna Short");
    default:
        return HexByte(code) + QStringLiteral(" Unknown data");
    }
}

QString revisionLetter(quint8 b)
{
    int sixteenths = b >> 4;
    const int rest = b & 15;
    // rest / 16 above one half rounds up; exactly one half rounds to the even code,
    // and 64 being even, that is the even number of sixteenths.
    if (rest > 8 || (rest == 8 && sixteenths % 2 == 1))
        ++sixteenths;
    return QString(QChar(64 + sixteenths));
}

void diagnosisTexts(QByteArrayView frame, FieldStore &s)
{
    const DiagnosisMessage m = parseDiagnosis(frame);
    s.begin();
    s.next(QStringLiteral("Version"), FieldStore::key({m.version[0], m.version[1], m.revision}),
           [&] {
               return QStringLiteral("Firmware Version: ") + HexByte(m.version[0]) +
                      QStringLiteral(".") + HexByte(m.version[1]) + revisionLetter(m.revision);
           });
    s.next(QStringLiteral("UnKnown"), m.extra,
           [&] { return QStringLiteral("Unknown Extra Byte: ") + HexByte(m.extra); });
    static const IndexedNames error("Error%1", 1, 3);
    for (int i = 1; i <= 3; ++i) {
        const quint8 code = m.errors[std::size_t(i - 1)];
        s.next(error[i], code, [&] { return DiagErrorText(code); });
    }
    s.next(QStringLiteral("CheckSum"), m.checksum,
           [&] { return QStringLiteral("CheckSum: ") + HexByte(m.checksum); });
    s.next(QStringLiteral("RawHex"), frame, [&] { return RawHexText(frame); });
}

Fields diagnosisFields(QByteArrayView frame)
{
    FieldStore s;
    diagnosisTexts(frame, s);
    return s.fields();
}
