#include "decoders/timestamp.h"

#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/bcd.h"

#include <QDate>

namespace {

constexpr int kStepsPerDay = 144;
constexpr int kMinutesPerStep = kTimeStampStepMinutes;

} // namespace

QString StampDateText(quint16 value)
{
    // Whole days and ten-minute steps in integers: no rounding can turn 00:10 into 00:09:59.
    const QDate date = QDate(1999, 1, 1).addDays(value / kStepsPerDay);
    const int minutes = value % kStepsPerDay * kMinutesPerStep;
    // The stamps span 1999 to 2000 only, which the two-digit year of the navigation
    // time covers; handing it the stamp in its own form keeps the two texts alike.
    return LocalDateTimeText({toBcd(date.year() % 100), toBcd(date.month()), toBcd(date.day()),
                              toBcd(minutes / 60), toBcd(minutes % 60), 0},
                             12);
}

QString stampDescription(int item)
{
    switch (item) {
    case 1:
        return QStringLiteral("Antenna Open");
    case 3:
        return QStringLiteral("Antenna Short");
    case 5:
        return QStringLiteral("TCXO Over");
    case 6:
        return QStringLiteral("TCXO Under");
    case 7:
        return QStringLiteral("ROM Check NG");
    case 8:
        return QStringLiteral("RAM Check NG2");
    case 9:
        return QStringLiteral("RTC Error 2");
    case 14:
        return QStringLiteral("RAM Check NG1");
    case 15:
        return QStringLiteral("RTC Error 1");
    default:
        return QStringLiteral("Reserved");
    }
}

void timeStampTexts(QByteArrayView frame, FieldStore &s)
{
    static const IndexedNames timeStamp("TimeStamp(%1)", 0, kTimeStampItems - 1);
    const TimeStampMessage m = parseTimeStamps(frame);
    s.begin();
    for (int k = 0; k < kTimeStampItems; ++k) {
        const quint16 steps = m.steps[std::size_t(k)];
        s.next(timeStamp[k], steps, [&] { return StampDateText(steps); });
    }
    s.next(QStringLiteral("RawHex"), frame, [&] { return RawHexText(frame); });
}

Fields timeStampFields(QByteArrayView frame)
{
    FieldStore s;
    timeStampTexts(frame, s);
    return s.fields();
}
