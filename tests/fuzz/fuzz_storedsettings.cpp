// Values of the per-user settings store as a hand-edited file may hold them, read
// as the port dialog and the main window read them at start-up.
#include "fuzzcheck.h"
#include "link/storedsettings.h"
#include "platform/serialport.h"

#include <QStringList>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString all = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList v = all.split(QLatin1Char('\n'));
    while (v.size() < 8)
        v.append(QString());

    const QList<int> com = {1, 2, 3, 4, 5};
    const QList<int> speeds = {1200, 2400, 9600, 19200};
    const QList<int> parities = {115, 109, 111, 101, 110};
    const QList<int> dataBits = {8, 7};
    const QList<int> stopBits = {2, 1};
    FUZZ_CHECK(com.contains(storedChoice(v[0], com, 1)));
    const int speed = storedChoice(v[1], speeds, 9600);
    const int parity = storedChoice(v[2], parities, 101);
    const int data8 = storedChoice(v[3], dataBits, 8);
    const int stop = storedChoice(v[4], stopBits, 1);
    FUZZ_CHECK(speeds.contains(speed) && parities.contains(parity));
    FUZZ_CHECK(dataBits.contains(data8) && stopBits.contains(stop));

    // Whatever was stored, the port is configured with a text it can take.
    const QString text = LineSettings{speed, char(parity), data8, stop}.text();
    const std::optional<LineSettings> back = LineSettings::parse(text);
    FUZZ_CHECK(back && back->speed == speed && back->parity == char(parity));
    FUZZ_CHECK(back->dataBits == data8 && back->stopBits == stop);

    const int zone = storedIndex(v[5], 5, 24);
    const int sats = storedIndex(v[6], 0, 3);
    FUZZ_CHECK(zone >= 0 && zone <= 24 && sats >= 0 && sats <= 3);
    storedFlag(v[7]);
    return 0;
}
