#include "quality/messagelog.h"

#include "link/gpsmain.h"
#include "link/hextext.h"
#include "link/messagetypes.h"
#include "platform/clock.h"

#include <QDateTime>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace {

const char *const kHeaders[] = {"Time", "Dir", "Type", "Name", "Length", "Checksum", "Bytes"};

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The bytes in hex, «CA CA 6C» with a separator, «CACA6C» without, into `out`, which
// holds three characters a byte: no allocation while rows are searched.
std::string_view hexInto(const LogRow &r, char separator,
                         std::array<char, 3 * Frame::kMaxLength> &out)
{
    std::size_t n = 0;
    for (int i = 0; i < r.length; ++i) {
        if (i > 0 && separator != 0)
            out[n++] = separator;
        out[n++] = kHexDigits[r.data[std::size_t(i)] >> 4];
        out[n++] = kHexDigits[r.data[std::size_t(i)] & 0x0F];
    }
    return {out.data(), n};
}

QString hexText(const LogRow &r)
{
    std::array<char, 3 * Frame::kMaxLength> buffer;
    const std::string_view t = hexInto(r, ' ', buffer);
    return QString::fromLatin1(t.data(), qsizetype(t.size()));
}

QString typeName(const LogRow &r)
{
    const MessageType *t = r.length > 0 ? findMessageType(r.data[0]) : nullptr;
    return t ? QString::fromLatin1(t->name) : QStringLiteral("unknown");
}

// The 8-bit sum of a whole frame is zero and its last byte a carriage return.
bool sumHolds(QByteArrayView frame)
{
    quint8 sum = 0;
    for (qsizetype i = 0; i + 1 < frame.size(); ++i)
        sum = quint8(sum + quint8(frame[i]));
    return !frame.isEmpty() && sum == 0 && quint8(frame.back()) == kFrameEnd;
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
        !s.contains(QLatin1Char('\n')))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

MessageLog::MessageLog(GPS_Main &g, qsizetype bound, QObject *parent)
    : QAbstractTableModel(parent), m_g(g), m_bound(std::max<qsizetype>(bound, 1))
{
    m_frames = g.frames().subscribeAll([this](const Frame &f) { addReceived(f); });
    connect(&g, &GPS_Main::frameSent, this,
            [this](const QByteArray &frame) { addSent(frame, m_g.dataClock().utcMs()); });
    connect(&g, &GPS_Main::logged, this,
            [this](const QString &line) { addEvent(line, m_g.dataClock().utcMs()); });
    m_batch.setSingleShot(true);
    connect(&m_batch, &QTimer::timeout, this, &MessageLog::flush);
}

MessageLog::~MessageLog() = default;

void MessageLog::addReceived(const Frame &frame)
{
    LogRow &r = append();
    r.kind = LogRow::Kind::In;
    r.utcMs = frame.arrivedUtcMs;
    std::memcpy(r.data.data(), frame.data.data(), frame.length);
    r.length = frame.length;
    r.good = frame.good;
}

void MessageLog::addSent(QByteArrayView frame, qint64 utcMs)
{
    LogRow &r = append();
    r.kind = LogRow::Kind::Out;
    r.utcMs = utcMs;
    r.length = quint8(std::min<qsizetype>(frame.size(), Frame::kMaxLength));
    if (r.length > 0)
        std::memcpy(r.data.data(), frame.data(), r.length);
    r.good = sumHolds(frame);
}

void MessageLog::addEvent(const QString &text, qint64 utcMs)
{
    const qint64 seq = m_endSeq;
    LogRow &r = append();
    r.kind = LogRow::Kind::Event;
    r.utcMs = utcMs;
    r.length = 0;
    r.good = true;
    m_events.insert(seq, text);
}

LogRow &MessageLog::append()
{
    const qint64 seq = m_endSeq++;
    if (!m_batch.isActive()) {
        // A second after the last batch, but never sooner than kBatchMs from now.
        const qint64 since =
            m_lastBatchMs < 0 ? kSteadyMs : m_g.clock().monotonicMs() - m_lastBatchMs;
        m_batch.start(int(std::clamp<qint64>(kSteadyMs - since, kBatchMs, kSteadyMs)));
    }
    // Full: the oldest row gives its place; the view lets go of it at the next batch.
    if (m_endSeq - m_firstSeq > m_bound) {
        if (m_ring[(m_firstSeq - m_ringSeq) % m_bound].kind == LogRow::Kind::Event)
            m_events.remove(m_firstSeq);
        ++m_firstSeq;
        ++m_dropped;
    }
    const qint64 slot = (seq - m_ringSeq) % m_bound;
    if (slot >= m_capacity)
        grow();
    return m_ring[slot];
}

// Rows move to a larger ring as plain bytes.
static_assert(std::is_trivially_copyable_v<LogRow>);

void MessageLog::grow()
{
    // In doublings that stop at the bound, not past it.
    const qsizetype capacity = std::min(m_bound, std::max<qsizetype>(1024, 2 * m_capacity));
    auto ring = std::make_unique<LogRow[]>(std::size_t(capacity));
    if (m_capacity > 0)
        std::memcpy(ring.get(), m_ring.get(), std::size_t(m_capacity) * sizeof(LogRow));
    m_ring = std::move(ring);
    m_capacity = capacity;
}

const LogRow *MessageLog::rowAt(qint64 seq) const
{
    if (seq < m_firstSeq || seq >= m_endSeq)
        return nullptr;
    return &m_ring[(seq - m_ringSeq) % m_bound];
}

qsizetype MessageLog::shownCount() const
{
    return m_showsAll ? qsizetype(m_offeredSeq - m_viewFirst) : qsizetype(m_shown.size());
}

qint64 MessageLog::shownSeq(qsizetype row) const
{
    return m_showsAll ? m_viewFirst + row : m_shown[std::size_t(row)];
}

void MessageLog::flush()
{
    m_lastBatchMs = m_g.clock().monotonicMs();
    // The bound first: rows it took from the store leave the view from the top, in one go.
    qsizetype gone = 0;
    if (m_showsAll)
        gone = qsizetype(std::clamp(m_firstSeq - m_viewFirst, qint64(0), qint64(shownCount())));
    else
        while (gone < qsizetype(m_shown.size()) && m_shown[std::size_t(gone)] < m_firstSeq)
            ++gone;
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone - 1));
        if (m_showsAll)
            m_viewFirst += gone;
        else
            m_shown.erase(m_shown.begin(), m_shown.begin() + gone);
        endRemoveRows();
    }
    if (m_dropped != m_droppedTold) {
        m_droppedTold = m_dropped;
        emit droppedChanged(m_dropped);
    }
    if (m_paused)
        return;
    const qint64 from = std::max(m_offeredSeq, m_firstSeq);
    if (m_showsAll) {
        // Rows dropped before they were offered never were in the view.
        if (m_offeredSeq < from)
            m_viewFirst = m_offeredSeq = from;
        if (from == m_endSeq)
            return;
        const int first = int(shownCount());
        beginInsertRows({}, first, first + int(m_endSeq - from) - 1);
        m_offeredSeq = m_endSeq;
        endInsertRows();
        emit appended();
        return;
    }
    std::vector<qint64> batch;
    for (qint64 seq = from; seq < m_endSeq; ++seq)
        if (matches(seq))
            batch.push_back(seq);
    m_offeredSeq = m_endSeq;
    if (batch.empty())
        return;
    const int first = int(m_shown.size());
    beginInsertRows({}, first, first + int(batch.size()) - 1);
    m_shown.insert(m_shown.end(), batch.begin(), batch.end());
    endInsertRows();
    emit appended();
}

void MessageLog::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        flush();
}

void MessageLog::clear()
{
    beginResetModel();
    m_ringSeq = m_firstSeq = m_offeredSeq = m_viewFirst = m_endSeq;
    // Cleared, the window gives back what it held.
    m_ring.reset();
    m_capacity = 0;
    m_shown.clear();
    m_events.clear();
    m_dropped = 0;
    endResetModel();
    if (m_droppedTold != 0) {
        m_droppedTold = 0;
        emit droppedChanged(0);
    }
}

void MessageLog::detach()
{
    m_frames.release();
    disconnect(&m_g, nullptr, this, nullptr);
    m_batch.stop();
}

void MessageLog::setFilter(Show show, int type, const QString &search)
{
    m_show = show;
    m_type = type;
    m_search = search.trimmed().toUpper();
    // What a row's texts would be searched for, worked out once rather than per row.
    for (int t = 0; t < 256; ++t) {
        const MessageType *known = findMessageType(quint8(t));
        m_nameHolds[std::size_t(t)] =
            (known ? QString::fromLatin1(known->name) : QStringLiteral("unknown"))
                .toUpper()
                .contains(m_search);
    }
    const bool latin1 =
        std::all_of(m_search.begin(), m_search.end(), [](QChar c) { return c.unicode() < 0x80; });
    m_hexSearch = latin1 ? m_search.toLatin1() : QByteArray();
    QString digits = m_search;
    digits.remove(QLatin1Char(' '));
    const bool hex = digits.size() % 2 == 0 &&
                     std::all_of(digits.begin(), digits.end(),
                                 [](QChar c) { return hexDigitValue(c.unicode()) >= 0; });
    m_hexDigits = hex ? digits.toLatin1() : QByteArray();
    rebuild();
}

void MessageLog::rebuild()
{
    beginResetModel();
    m_shown.clear();
    m_showsAll = m_show == Show::All && m_type < 0 && m_search.isEmpty();
    m_viewFirst = std::min(m_firstSeq, m_offeredSeq);
    if (!m_showsAll)
        for (qint64 seq = m_firstSeq; seq < m_offeredSeq; ++seq)
            if (matches(seq))
                m_shown.push_back(seq);
    endResetModel();
}

bool MessageLog::matches(qint64 seq) const
{
    const LogRow *r = rowAt(seq);
    if (!r)
        return false;
    switch (m_show) {
    case Show::All:
        break;
    case Show::In:
        if (r->kind != LogRow::Kind::In)
            return false;
        break;
    case Show::Out:
        if (r->kind != LogRow::Kind::Out)
            return false;
        break;
    case Show::Events:
        if (r->kind != LogRow::Kind::Event)
            return false;
        break;
    }
    if (m_type >= 0 && (r->length == 0 || r->data[0] != m_type))
        return false;
    if (m_search.isEmpty())
        return true;
    if (r->kind == LogRow::Kind::Event)
        return m_events.value(seq).toUpper().contains(m_search);
    if (r->length > 0 && m_nameHolds[r->data[0]])
        return true;
    return bytesMatch(*r);
}

bool MessageLog::bytesMatch(const LogRow &r) const
{
    std::array<char, 3 * Frame::kMaxLength> buffer;
    if (!m_hexSearch.isEmpty() &&
        hexInto(r, ' ', buffer)
                .find(std::string_view(m_hexSearch.data(), std::size_t(m_hexSearch.size()))) !=
            std::string_view::npos)
        return true;
    if (m_hexDigits.isEmpty())
        return false;
    const std::string_view compact = hexInto(r, 0, buffer);
    const std::string_view digits(m_hexDigits.data(), std::size_t(m_hexDigits.size()));
    for (std::size_t at = compact.find(digits); at != std::string_view::npos;
         at = compact.find(digits, at + 1))
        if (at % 2 == 0)
            return true;
    return false;
}

QString MessageLog::cellText(qint64 seq, int column) const
{
    const LogRow *r = rowAt(seq);
    if (!r)
        return {};
    const bool event = r->kind == LogRow::Kind::Event;
    switch (column) {
    case Time:
        // A replay of a recording that does not say when it was made.
        return r->utcMs < 0 ? QStringLiteral("unknown")
                            : QDateTime::fromMSecsSinceEpoch(r->utcMs).toString(
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    case Direction:
        return event                         ? QStringLiteral("event")
               : r->kind == LogRow::Kind::In ? QStringLiteral("in")
                                             : QStringLiteral("out");
    case Type:
        return event || r->length == 0 ? QString() : HexByte(r->data[0]);
    case Name:
        return event ? m_events.value(seq) : typeName(*r);
    case Length:
        return event ? QString() : QString::number(r->length);
    case Checksum:
        return event ? QString() : r->good ? QStringLiteral("ok") : QStringLiteral("bad");
    case Bytes:
        return event ? QString() : hexText(*r);
    }
    return {};
}

int MessageLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shownCount());
}

int MessageLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant MessageLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(shownCount()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return cellText(shownSeq(index.row()), index.column());
    if (role == Qt::TextAlignmentRole && index.column() == Length)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant MessageLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns)
        return {};
    return QString::fromLatin1(kHeaders[section]);
}

QString MessageLog::rowsText(const QList<int> &rows, QChar separator) const
{
    QString t;
    for (int row : rows) {
        if (row < 0 || row >= int(shownCount()))
            continue;
        const qint64 seq = shownSeq(row);
        for (int c = 0; c < kColumns; ++c) {
            if (c > 0)
                t += separator;
            const QString cell = cellText(seq, c);
            t += separator == QLatin1Char(',') ? csvField(cell) : cell;
        }
        t += QLatin1Char('\n');
    }
    return t;
}

bool MessageLog::writeCsv(QIODevice &out) const
{
    QString header;
    for (int c = 0; c < kColumns; ++c)
        header += (c > 0 ? QStringLiteral(",") : QString()) + QString::fromLatin1(kHeaders[c]);
    if (out.write(header.toUtf8() + '\n') < 0)
        return false;
    // In slices, so that 100,000 rows need no 10 MB string at once.
    constexpr int kSlice = 4096;
    for (int from = 0; from < int(shownCount()); from += kSlice) {
        QList<int> rows;
        for (int r = from; r < std::min(from + kSlice, int(shownCount())); ++r)
            rows << r;
        if (out.write(rowsText(rows, QLatin1Char(',')).toUtf8()) < 0)
            return false;
    }
    return true;
}
