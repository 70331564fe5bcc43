#include "decoders/framedecode.h"

#include "decoders/condition.h"
#include "decoders/diagnosis.h"
#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/mode.h"
#include "decoders/navstatus.h"
#include "decoders/position.h"
#include "decoders/sattable.h"
#include "decoders/timestamp.h"
#include "decoders/valuesjson.h"
#include "link/framer.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"

#include <algorithm>
#include <array>

namespace {

// How an ASCII character goes into a JSON string: as itself, after a backslash, or as
// \u00xx (the other control characters).
enum Escape : char { kPlain, kBackslash, kUnicode };
constexpr std::array<Escape, 128> kJsonEscapes = [] {
    std::array<Escape, 128> t{};
    for (int c = 0; c < 0x20; ++c)
        t[std::size_t(c)] = kUnicode;
    t['"'] = t['\\'] = kBackslash;
    return t;
}();

constexpr char kHexDigits[] = "0123456789ABCDEF";

// UTF-16 written as UTF-8 straight onto `out`, as QString::toUtf8 writes it (a lone
// surrogate becomes '?'); with `json`, escaped for the inside of a JSON string. The
// caller has made room for the worst case, kRoomPerUnit bytes a UTF-16 unit, so each
// character is one store; returns the end of what was written.
template <bool json> char *writeUtf8(char *p, QStringView s)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = s[i].unicode();
        if (u < 0x80) {
            if (json && kJsonEscapes[u] != kPlain) {
                *p++ = '\\';
                if (kJsonEscapes[u] == kBackslash) {
                    *p++ = char(u);
                } else {
                    *p++ = 'u';
                    *p++ = '0';
                    *p++ = '0';
                    *p++ = char(kHexDigits[u >> 4] | 0x20); // lower case: 1f
                    *p++ = char(kHexDigits[u & 15] | 0x20);
                }
            } else {
                *p++ = char(u);
            }
            continue;
        }
        if (QChar::isSurrogate(u)) {
            if (QChar::isHighSurrogate(u) && i + 1 < n && s[i + 1].isLowSurrogate()) {
                u = QChar::surrogateToUcs4(char16_t(u), s[++i].unicode());
            } else {
                *p++ = '?';
                continue;
            }
        }
        if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
        } else if (u < 0x10000) {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
        } else {
            *p++ = char(0xF0 | (u >> 18));
            *p++ = char(0x80 | ((u >> 12) & 0x3F));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
        }
        *p++ = char(0x80 | (u & 0x3F));
    }
    return p;
}

// At most six bytes a UTF-16 unit: \u00xx, or three of UTF-8 (four for a pair).
constexpr qsizetype kRoomPerUnit = 6;

template <bool json> void appendUtf8(QByteArray &out, QStringView s)
{
    const qsizetype start = out.size();
    out.resize(start + kRoomPerUnit * s.size());
    char *end = writeUtf8<json>(out.data() + start, s);
    out.truncate(end - out.constData());
}

char *writeJsonString(char *p, QStringView s)
{
    *p++ = '"';
    p = writeUtf8<true>(p, s);
    *p++ = '"';
    return p;
}

void appendJsonString(QByteArray &out, QStringView s)
{
    out += '"';
    appendUtf8<true>(out, s);
    out += '"';
}

// Bytes as upper-case hexadecimal pairs with a blank between them, in a JSON string.
void appendJsonHex(QByteArray &out, QByteArrayView bytes)
{
    const qsizetype start = out.size();
    const qsizetype n = bytes.size();
    out.resize(start + 2 + (n ? 3 * n - 1 : 0));
    char *p = out.data() + start;
    *p++ = '"';
    for (qsizetype i = 0; i < n; ++i) {
        if (i)
            *p++ = ' ';
        *p++ = kHexDigits[quint8(bytes[i]) >> 4];
        *p++ = kHexDigits[quint8(bytes[i]) & 15];
    }
    *p = '"';
}

// The texts of each data window, kept between frames as the open windows keep them:
// a text is made again only when the bytes it comes from changed.
struct WindowStores {
    FieldStore position, condition, diagnosis, mode, timeStamp, recSat;

    // What each window shows for a good frame, main window first.
    QList<WindowFields> windowsOf(QByteArrayView frame, int timeZoneIndex, const Units &units)
    {
        const auto one = [](const QString &window, const FieldStore &store) {
            return QList<WindowFields>{{window, store.fields()}};
        };
        switch (frame.isEmpty() ? 0 : quint8(frame[0])) {
        case Msg::Navigation:
            positionTexts(frame, timeZoneIndex, position);
            return {
                {QStringLiteral("Navigate"), decodeNavStatus(frame, timeZoneIndex, units).fields},
                {QStringLiteral("Position"), position.fields()}};
        case Msg::Condition:
            conditionTexts(frame, condition);
            return one(QStringLiteral("Condition"), condition);
        case Msg::Diagnosis:
            diagnosisTexts(frame, diagnosis);
            return one(QStringLiteral("Diagnosis"), diagnosis);
        case Msg::Mode:
            modeTexts(frame, mode);
            return one(QStringLiteral("Mode"), mode);
        case Msg::TimeStamps:
            timeStampTexts(frame, timeStamp);
            return one(QStringLiteral("TimeStamp"), timeStamp);
        case Msg::Satellites:
            recSatTexts(frame, recSat);
            return one(QStringLiteral("RecSat"), recSat);
        default:
            return {};
        }
    }
};

} // namespace

struct FrameDecoder::Impl {
    // The computer's UTC as the caller gives it with the bytes; ages stay the computer's.
    struct FeedClock : Clock {
        qint64 utc = -1;
        qint64 utcMs() const override { return utc; }
    } clock;
    Platform platform{nullptr, nullptr, &clock, {}};
    GPS_Main g{platform};
    QList<DecodedFrame> frames;
    WindowStores stores;
    qint64 timeMs = -1;
    FrameDispatcher::Subscription all;
};

FrameDecoder::FrameDecoder(int timeZoneIndex, Texts texts) : d(std::make_unique<Impl>())
{
    d->g.ComputerTimeZone = timeZoneIndex == kComputerTimeZone;
    d->g.TimeZoneIndex = qint16(qBound(0, timeZoneIndex, 24));
    // Every window's decoder as if all were open, in the order the program shows them:
    // the main window first, then the data window of the frame's type.
    const bool decoded = texts == Texts::Decoded;
    d->all = d->g.frames().subscribeAll([impl = d.get(), decoded](const Frame &frame) {
        DecodedFrame f;
        f.timeMs = impl->timeMs;
        f.arrivedUtcMs = frame.arrivedUtcMs;
        f.bytes = frame.bytes().toByteArray();
        f.logLine = frame.logLine();
        f.good = frame.good;
        if (frame.good && decoded)
            f.windows =
                impl->stores.windowsOf(frame.bytes(), impl->g.shownTimeZone(), impl->g.units());
        impl->frames.append(std::move(f));
    });
}

FrameDecoder::~FrameDecoder() = default;

void FrameDecoder::setUnits(const Units &units)
{
    d->g.setUnits(units);
}

QList<DecodedFrame> FrameDecoder::feed(QByteArrayView bytes, qint64 timeMs, qint64 utcMs)
{
    d->clock.utc = utcMs;
    // The program's own receive loop, so that the tools frame and dispatch exactly as
    // the windows do.
    d->timeMs = timeMs;
    d->g.receive(bytes);
    return std::exchange(d->frames, {});
}

DecodedFrame FrameDecoder::lineEvent(int code, qint64 timeMs)
{
    DecodedFrame f;
    f.logLine = lineEventText(code);
    f.timeMs = timeMs;
    d->g.OnCommEvent(code); // the overflow abandons a partial frame, as in the program
    return f;
}

bool FrameDecoder::midFrame() const
{
    return !d->g.framer().huntingHeader();
}

QString frameText(const DecodedFrame &frame)
{
    QString out = frame.logLine + QLatin1Char('\n');
    for (const WindowFields &w : frame.windows)
        for (const Field &f : w.fields)
            out += w.window + QLatin1Char('.') + f.name + QStringLiteral(": ") + f.text +
                   QLatin1Char('\n');
    return out;
}

void appendFrameText(QByteArray &out, const DecodedFrame &frame)
{
    appendUtf8<false>(out, frame.logLine);
    out += '\n';
    for (const WindowFields &w : frame.windows)
        for (const Field &f : w.fields) {
            appendUtf8<false>(out, w.window);
            out += '.';
            appendUtf8<false>(out, f.name);
            out += ": ";
            appendUtf8<false>(out, f.text);
            out += '\n';
        }
}

QByteArray frameJson(const DecodedFrame &frame)
{
    QByteArray out;
    appendFrameJson(out, frame);
    return out;
}

void appendFrameJson(QByteArray &out, const DecodedFrame &frame)
{
    out += "{\"log\":";
    appendJsonString(out, frame.logLine);
    if (!frame.bytes.isEmpty()) {
        out += ",\"type\":";
        appendJsonHex(out, QByteArrayView(frame.bytes).first(1));
        out += ",\"bytes\":";
        appendJsonHex(out, frame.bytes);
    }
    if (frame.timeMs >= 0) {
        out += ",\"time_ms\":";
        out += QByteArray::number(frame.timeMs);
    }
    // The windows' texts in one pass: room for the worst case, then one store a byte.
    qsizetype room = 16;
    for (const WindowFields &w : frame.windows) {
        room += kRoomPerUnit * w.window.size() + 8;
        for (const Field &f : w.fields)
            room += kRoomPerUnit * (f.name.size() + f.text.size()) + 6;
    }
    const qsizetype start = out.size();
    out.resize(start + room);
    char *p = out.data() + start;
    p = std::copy_n(",\"windows\":{", 12, p);
    for (qsizetype i = 0; i < frame.windows.size(); ++i) {
        const WindowFields &w = frame.windows[i];
        if (i)
            *p++ = ',';
        p = writeJsonString(p, w.window);
        *p++ = ':';
        *p++ = '{';
        for (qsizetype k = 0; k < w.fields.size(); ++k) {
            if (k)
                *p++ = ',';
            p = writeJsonString(p, w.fields[k].name);
            *p++ = ':';
            p = writeJsonString(p, w.fields[k].text);
        }
        *p++ = '}';
    }
    *p++ = '}';
    out.truncate(p - out.constData());
    if (frame.good) {
        const qsizetype before = out.size();
        out += ",\"values\":";
        if (!appendMessageValuesJson(out, frame.bytes))
            out.truncate(before);
    }
    out += '}';
}
