// Text typed into the setup windows and the auto-refresh boxes: either a payload of
// the command's exact size or a refusal naming the field, never anything between.
#include "decoders/refreshinterval.h"
#include "fuzzcheck.h"
#include "setup/setupcommands.h"

#include <QStringList>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString all = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList f = all.split(QLatin1Char('\n'));
    while (f.size() < 6)
        f.append(QString());

    const QStringList time = f.mid(0, 6);
    const SetupPayload t = setTimePayload(time);
    FUZZ_CHECK(t.ok() ? (t.payload.size() == 6 && t.field == -1)
                      : (t.payload.isEmpty() && t.field >= -1 && t.field < 6));

    const SetupPayload p = setPositionPayload(f[0], f[1], f[2], f[3]);
    FUZZ_CHECK(p.ok() ? (p.payload.size() == 9 && p.payload[8] == 1)
                      : (p.payload.isEmpty() && p.field >= -1 && p.field < 4));

    const SetupPayload d = setPositionScaledPayload(f[0], f[1]);
    FUZZ_CHECK(d.ok() ? (d.payload.size() == 9 && d.payload[8] == 1)
                      : (d.payload.isEmpty() && d.field >= 0 && d.field < 2));

    const SetupPayload h = setHeightPayload(f[0], f[1]);
    FUZZ_CHECK(h.ok() ? h.payload.size() == 4
                      : (h.payload.isEmpty() && h.field >= -1 && h.field < 2));

    for (const QString &box : f) {
        const std::optional<int> ms = refreshIntervalMs(box);
        FUZZ_CHECK(!ms || (*ms >= 0 && *ms <= kMaxRefreshMs));
    }
    return 0;
}
