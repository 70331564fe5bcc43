#include "quality/messagelog.h"

#include "link/gpsmain.h"
#include "link/hextext.h"
#include "link/messagetypes.h"

#include <QDateTime>
#include <QIODevice>

namespace {

const char *const kHeaders[] = {"Time", "Dir", "Type", "Name", "Length", "Checksum", "Bytes"};

QString hexText(const LogRow &r, QChar separator)
{
    QString t;
    t.reserve(r.length * 3);
    for (int i = 0; i < r.length; ++i) {
        if (i > 0 && !separator.isNull())
            t += separator;
        t += HexByte(r.data[std::size_t(i)]);
    }
    return t;
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
    m_batch.setInterval(kBatchMs);
    connect(&m_batch, &QTimer::timeout, this, &MessageLog::flush);
}

MessageLog::~MessageLog() = default;

void MessageLog::addReceived(const Frame &frame)
{
    LogRow r;
    r.utcMs = frame.arrivedUtcMs;
    r.data = frame.data;
    r.length = frame.length;
    r.good = frame.good;
    add(std::move(r));
}

void MessageLog::addSent(QByteArrayView frame, qint64 utcMs)
{
    LogRow r;
    r.kind = LogRow::Kind::Out;
    r.utcMs = utcMs;
    r.length = quint8(std::min<qsizetype>(frame.size(), Frame::kMaxLength));
    std::copy_n(reinterpret_cast<const quint8 *>(frame.data()), r.length, r.data.begin());
    r.good = sumHolds(frame);
    add(std::move(r));
}

void MessageLog::addEvent(const QString &text, qint64 utcMs)
{
    LogRow r;
    r.kind = LogRow::Kind::Event;
    r.utcMs = utcMs;
    add(std::move(r), text);
}

void MessageLog::add(LogRow &&row, const QString &eventText)
{
    const qint64 seq = m_firstSeq + qint64(m_rows.size());
    if (row.kind == LogRow::Kind::Event)
        m_events.insert(seq, eventText);
    m_rows.push_back(std::move(row));
    if (qsizetype(m_rows.size()) > m_bound) {
        if (m_rows.front().kind == LogRow::Kind::Event)
            m_events.remove(m_firstSeq);
        m_rows.pop_front();
        ++m_firstSeq;
        ++m_dropped;
    }
    if (!m_batch.isActive())
        m_batch.start();
}

const LogRow *MessageLog::rowAt(qint64 seq) const
{
    if (seq < m_firstSeq || seq >= m_firstSeq + qint64(m_rows.size()))
        return nullptr;
    return &m_rows[std::size_t(seq - m_firstSeq)];
}

void MessageLog::flush()
{
    // The bound first: rows it took from the store leave the view from the top.
    qsizetype gone = 0;
    while (gone < qsizetype(m_shown.size()) && m_shown[std::size_t(gone)] < m_firstSeq)
        ++gone;
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone - 1));
        m_shown.erase(m_shown.begin(), m_shown.begin() + gone);
        endRemoveRows();
    }
    if (m_dropped != m_droppedTold) {
        m_droppedTold = m_dropped;
        emit droppedChanged(m_dropped);
    }
    if (m_paused)
        return;
    const qint64 end = m_firstSeq + qint64(m_rows.size());
    std::vector<qint64> batch;
    for (qint64 seq = std::max(m_offeredSeq, m_firstSeq); seq < end; ++seq)
        if (matches(seq))
            batch.push_back(seq);
    m_offeredSeq = end;
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
    m_firstSeq += qint64(m_rows.size());
    m_offeredSeq = m_firstSeq;
    m_rows.clear();
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
    rebuild();
}

void MessageLog::rebuild()
{
    beginResetModel();
    m_shown.clear();
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
    if (cellText(seq, Name).toUpper().contains(m_search))
        return true;
    if (r->kind == LogRow::Kind::Event)
        return false;
    if (hexText(*r, QLatin1Char(' ')).contains(m_search))
        return true;
    // Hex digits typed together («CACA6C») match whole bytes only.
    QString digits = m_search;
    digits.remove(QLatin1Char(' '));
    if (digits.size() % 2 != 0 || !std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return hexDigitValue(c.unicode()) >= 0;
        }))
        return false;
    const QString compact = hexText(*r, QChar());
    for (qsizetype at = compact.indexOf(digits); at >= 0; at = compact.indexOf(digits, at + 1))
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
        return r->utcMs < 0 ? QString()
                            : QDateTime::fromMSecsSinceEpoch(r->utcMs).toString(
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    case Direction:
        return event                         ? QStringLiteral("event")
               : r->kind == LogRow::Kind::In ? QStringLiteral("in")
                                             : QStringLiteral("out");
    case Type:
        return event || r->length == 0 ? QString() : HexByte(r->data[0]);
    case Name: {
        if (event)
            return m_events.value(seq);
        const MessageType *t = r->length > 0 ? findMessageType(r->data[0]) : nullptr;
        return t ? QString::fromLatin1(t->name) : QStringLiteral("unknown");
    }
    case Length:
        return event ? QString() : QString::number(r->length);
    case Checksum:
        return event ? QString() : r->good ? QStringLiteral("ok") : QStringLiteral("bad");
    case Bytes:
        return event ? QString() : hexText(*r, QLatin1Char(' '));
    }
    return {};
}

int MessageLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int MessageLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant MessageLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_shown.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return cellText(m_shown[std::size_t(index.row())], index.column());
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
        if (row < 0 || row >= int(m_shown.size()))
            continue;
        const qint64 seq = m_shown[std::size_t(row)];
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
    for (int from = 0; from < int(m_shown.size()); from += kSlice) {
        QList<int> rows;
        for (int r = from; r < std::min(from + kSlice, int(m_shown.size())); ++r)
            rows << r;
        if (out.write(rowsText(rows, QLatin1Char(',')).toUtf8()) < 0)
            return false;
    }
    return true;
}
