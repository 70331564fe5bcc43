#include "decoders/framedecode.h"

#include "decoders/condition.h"
#include "decoders/diagnosis.h"
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
// surrogate becomes '?'); with `json`, escaped for the inside of a JSON string.
template <bool json> void appendUtf8(QByteArray &out, QStringView s)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = s[i].unicode();
        if (u < 0x80) {
            if (json && kJsonEscapes[u] != kPlain) {
                out += '\\';
                if (kJsonEscapes[u] == kBackslash) {
                    out += char(u);
                } else {
                    out += "u00";
                    out += char(kHexDigits[u >> 4] | 0x20); // lower case: 1f
                    out += char(kHexDigits[u & 15] | 0x20);
                }
            } else {
                out += char(u);
            }
            continue;
        }
        if (QChar::isSurrogate(u)) {
            if (QChar::isHighSurrogate(u) && i + 1 < n && s[i + 1].isLowSurrogate()) {
                u = QChar::surrogateToUcs4(char16_t(u), s[++i].unicode());
            } else {
                out += '?';
                continue;
            }
        }
        if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
        } else if (u < 0x10000) {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
        } else {
            out += char(0xF0 | (u >> 18));
            out += char(0x80 | ((u >> 12) & 0x3F));
            out += char(0x80 | ((u >> 6) & 0x3F));
        }
        out += char(0x80 | (u & 0x3F));
    }
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
    out += '"';
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += kHexDigits[quint8(bytes[i]) >> 4];
        out += kHexDigits[quint8(bytes[i]) & 15];
    }
    out += '"';
}

// What each window shows for a good frame, main window first.
QList<WindowFields> windowsOf(QByteArrayView frame, int timeZoneIndex, const Units &units)
{
    const auto one = [](QStringView window, Fields fields) {
        return QList<WindowFields>{{window.toString(), std::move(fields)}};
    };
    switch (frame.isEmpty() ? 0 : quint8(frame[0])) {
    case Msg::Navigation:
        return {{QStringLiteral("Navigate"), decodeNavStatus(frame, timeZoneIndex, units).fields},
                {QStringLiteral("Position"), positionFields(frame, timeZoneIndex)}};
    case Msg::Condition:
        return one(u"Condition", conditionFields(frame));
    case Msg::Diagnosis:
        return one(u"Diagnosis", diagnosisFields(frame));
    case Msg::Mode:
        return one(u"Mode", modeFields(frame));
    case Msg::TimeStamps:
        return one(u"TimeStamp", timeStampFields(frame));
    case Msg::Satellites:
        return one(u"RecSat", recSatFields(frame));
    default:
        return {};
    }
}

} // namespace

struct FrameDecoder::Impl {
    Platform platform;
    GPS_Main g{platform};
    QList<DecodedFrame> frames;
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
        f.bytes = frame.bytes().toByteArray();
        f.logLine = frame.logLine();
        f.good = frame.good;
        if (frame.good && decoded)
            f.windows = windowsOf(frame.bytes(), impl->g.shownTimeZone(), impl->g.units());
        impl->frames.append(std::move(f));
    });
}

FrameDecoder::~FrameDecoder() = default;

void FrameDecoder::setUnits(const Units &units)
{
    d->g.setUnits(units);
}

QList<DecodedFrame> FrameDecoder::feed(QByteArrayView bytes, qint64 timeMs)
{
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
    out += ",\"windows\":{";
    for (qsizetype i = 0; i < frame.windows.size(); ++i) {
        const WindowFields &w = frame.windows[i];
        if (i)
            out += ',';
        appendJsonString(out, w.window);
        out += ":{";
        for (qsizetype k = 0; k < w.fields.size(); ++k) {
            if (k)
                out += ',';
            appendJsonString(out, w.fields[k].name);
            out += ':';
            appendJsonString(out, w.fields[k].text);
        }
        out += '}';
    }
    out += '}';
    if (frame.good) {
        const QByteArray values = messageValuesJson(frame.bytes);
        if (!values.isEmpty()) {
            out += ",\"values\":";
            out += values;
        }
    }
    out += '}';
}
