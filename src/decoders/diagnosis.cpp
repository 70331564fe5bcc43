#include "diagnosis.h"

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

QString RevisionLetter(quint8 b)
{
    int sixteenths = b >> 4;
    const int rest = b & 15;
    // rest / 16 above one half rounds up; exactly one half rounds to the even code,
    // and 64 being even, that is the even number of sixteenths.
    if (rest > 8 || (rest == 8 && sixteenths % 2 == 1))
        ++sixteenths;
    return QString(QChar(64 + sixteenths));
}

Fields DiagnosisFields(QByteArrayView frame)
{
    const DiagnosisMessage m = parseDiagnosis(frame);
    return {
        {QStringLiteral("Version"), QStringLiteral("Firmware Version: ") + HexByte(m.version[0]) +
                                        QStringLiteral(".") + HexByte(m.version[1]) +
                                        RevisionLetter(m.revision)},
        {QStringLiteral("UnKnown"), QStringLiteral("Unknown Extra Byte: ") + HexByte(m.extra)},
        {QStringLiteral("Error1"), DiagErrorText(m.errors[0])},
        {QStringLiteral("Error2"), DiagErrorText(m.errors[1])},
        {QStringLiteral("Error3"), DiagErrorText(m.errors[2])},
        {QStringLiteral("CheckSum"), QStringLiteral("CheckSum: ") + HexByte(m.checksum)},
        {QStringLiteral("RawHex"), RawHexText(frame)},
    };
}

Fields DiagnosisFields(const GPS_Main &g)
{
    return DiagnosisFields(receivedFrame(g));
}
