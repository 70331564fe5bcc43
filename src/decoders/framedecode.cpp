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

namespace {

void appendJsonString(QByteArray &out, const QString &s)
{
    out += '"';
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20) {
            out += "\\u00";
            out += HexByte(u).toLatin1().toLower();
        } else {
            out += QString(c).toUtf8();
        }
    }
    out += '"';
}

// What each window shows for a good frame, main window first.
QList<WindowFields> windowsOf(QByteArrayView frame, int timeZoneIndex)
{
    const auto one = [](QStringView window, Fields fields) {
        return QList<WindowFields>{{window.toString(), std::move(fields)}};
    };
    switch (frame.isEmpty() ? 0 : quint8(frame[0])) {
    case Msg::Navigation:
        return {{QStringLiteral("Navigate"), decodeNavStatus(frame, timeZoneIndex).fields},
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

FrameDecoder::FrameDecoder(int timeZoneIndex) : d(std::make_unique<Impl>())
{
    d->g.TimeZoneIndex = qint16(qBound(0, timeZoneIndex, 24));
    // Every window's decoder as if all were open, in the order the program shows them:
    // the main window first, then the data window of the frame's type.
    d->all = d->g.frames().subscribeAll([impl = d.get()](const Frame &frame) {
        DecodedFrame f;
        f.timeMs = impl->timeMs;
        f.bytes = frame.bytes().toByteArray();
        f.logLine = frame.logLine();
        f.good = frame.good;
        if (frame.good)
            f.windows = windowsOf(frame.bytes(), impl->g.TimeZoneIndex);
        impl->frames.append(std::move(f));
    });
}

FrameDecoder::~FrameDecoder() = default;

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

QByteArray frameJson(const DecodedFrame &frame)
{
    QByteArray out = "{\"log\":";
    appendJsonString(out, frame.logLine);
    if (!frame.bytes.isEmpty()) {
        out += ",\"type\":";
        appendJsonString(out, HexByte(quint8(frame.bytes[0])));
        out += ",\"bytes\":";
        appendJsonString(out, QString::fromLatin1(frame.bytes.toHex(' ').toUpper()));
    }
    if (frame.timeMs >= 0)
        out += ",\"time_ms\":" + QByteArray::number(frame.timeMs);
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
        if (!values.isEmpty())
            out += ",\"values\":" + values;
    }
    out += '}';
    return out;
}
