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

namespace {

// Collects what each window would show instead of showing it.
class CollectingSink : public MessageSink {
public:
    explicit CollectingSink(GPS_Main &g) : m_g(g) {}

    void ShowNavStatus() override { add(u"Navigate", decodeNavStatus(m_g).fields); }
    void ShowPosition() override { add(u"Position", positionFields(m_g)); }
    void ShowCondition() override { add(u"Condition", conditionFields(m_g)); }
    void ShowDiagnosis() override { add(u"Diagnosis", diagnosisFields(m_g)); }
    void ShowMode() override { add(u"Mode", modeFields(m_g)); }
    void ShowTimeStamp() override { add(u"TimeStamp", timeStampFields(m_g)); }
    void ShowRecSat() override { add(u"RecSat", recSatFields(m_g)); }

    QList<WindowFields> take() { return std::exchange(m_windows, {}); }

private:
    void add(QStringView window, Fields fields)
    {
        m_windows.append({window.toString(), std::move(fields)});
    }

    GPS_Main &m_g;
    QList<WindowFields> m_windows;
};

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

} // namespace

struct FrameDecoder::Impl {
    Platform platform;
    GPS_Main g{platform};
    CollectingSink sink{g};
    QList<DecodedFrame> frames;
    qint64 timeMs = -1;
};

FrameDecoder::FrameDecoder(int timeZoneIndex) : d(std::make_unique<Impl>())
{
    d->g.TimeZoneIndex = qint16(qBound(0, timeZoneIndex, 24));
    d->g.PositionOpen = d->g.ConditionOpen = d->g.DiagnosisOpen = true;
    d->g.ModeOpen = d->g.TimeStampOpen = d->g.RecSatOpen = true;
    d->g.setSink(&d->sink);
    QObject::connect(&d->g, &GPS_Main::frameReceived, [impl = d.get()](bool good) {
        const GPS_Main &g = impl->g;
        DecodedFrame f;
        f.timeMs = impl->timeMs;
        const int length = qBound(0, int(g.MsgLength), GPS_Main::kRxSize - 1);
        f.bytes = QByteArray(reinterpret_cast<const char *>(g.RxBuffer.data() + 1), length);
        f.logLine = frameLogLine(g, good ? FrameStep::FrameGood : FrameStep::FrameBad);
        f.good = good;
        if (good)
            f.windows = impl->sink.take();
        impl->frames.append(std::move(f));
    });
}

FrameDecoder::~FrameDecoder()
{
    d->g.setSink(nullptr);
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
    return !d->g.HuntingHeader;
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
