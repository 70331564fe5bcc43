#pragma once

#include "link/dispatcher.h"
#include "link/frame.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QTimer>
#include <array>
#include <deque>
#include <memory>
#include <vector>

class GPS_Main;
class QIODevice;

// One row of the message console: a frame received or sent, or an event of the link
// (the port lost or back, a line fault, a command not sent).
struct LogRow {
    enum class Kind : quint8 { In, Out, Event };
    // The computer's UTC at the frame's first byte (ms since 1970); -1 unknown.
    qint64 utcMs = -1;
    std::array<quint8, Frame::kMaxLength> data{};
    quint8 length = 0;
    Kind kind = Kind::In;
    bool good = true;
};

// Every frame received and sent, and the link's events, as rows: the newest last, the
// last `bound` kept. Rows are collected as they come into a ring that overwrites the
// oldest, handed to the view in batches, and their texts are made only when a cell is
// asked for, so a fast line costs a copy of each frame and little else: no text and,
// once the ring is full, no allocation. Every batch repaints the view, so while rows
// keep coming there is one a second (kSteadyMs); a row after a quieter spell, such as
// a command sent, goes in kBatchMs after it came.
class MessageLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Direction, Type, Name, Length, Checksum, Bytes, kColumns };
    enum class Show { All, In, Out, Events };
    static constexpr qsizetype kBound = 100000;
    static constexpr int kBatchMs = 250;
    static constexpr int kSteadyMs = 1000;

    explicit MessageLog(GPS_Main &g, qsizetype bound = kBound, QObject *parent = nullptr);
    ~MessageLog() override;

    void addReceived(const Frame &frame);
    void addSent(QByteArrayView frame, qint64 utcMs);
    void addEvent(const QString &text, qint64 utcMs);

    // Hands the rows collected since the last time to the view (the batch timer calls it).
    void flush();
    // How long after now the rows collected are handed to the view; -1 when none wait.
    int nextBatchInMs() const { return m_batch.isActive() ? m_batch.remainingTime() : -1; }
    // Paused, rows go on being collected but the view takes none of them in; only the
    // bound still takes the oldest away.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    void clear();
    // Takes no more rows: the window that showed them is gone.
    void detach();

    // Which rows the view shows: a direction, a type byte (-1 for any; events have none)
    // and a text found, in either case, in the name, the event's text or the bytes in
    // hex («CA CA», «caca6c»).
    void setFilter(Show show, int type, const QString &search);
    // Rows collected, shown or not, and those dropped for the bound since the last Clear.
    qsizetype kept() const { return qsizetype(m_endSeq - m_firstSeq); }
    qsizetype dropped() const { return m_dropped; }
    qsizetype bound() const { return m_bound; }

    // The cells of the view's rows, each row's cells joined by `separator`, one line each.
    QString rowsText(const QList<int> &rows, QChar separator) const;
    // The view as CSV: a header line, then every row shown.
    bool writeCsv(QIODevice &out) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    QString cellText(qint64 seq, int column) const;

signals:
    // The rows dropped for the bound went up.
    void droppedChanged(qsizetype dropped);
    // A batch went into the view.
    void appended();

private:
    LogRow &append();
    void grow();
    const LogRow *rowAt(qint64 seq) const;
    bool matches(qint64 seq) const;
    bool bytesMatch(const LogRow &r) const;
    void rebuild();
    qsizetype shownCount() const;
    qint64 shownSeq(qsizetype row) const;

    GPS_Main &m_g;
    qsizetype m_bound;
    // The ring: grows to m_bound, then the newest row takes the oldest one's place.
    std::unique_ptr<LogRow[]> m_ring;
    qsizetype m_capacity = 0;
    // Rows are numbered from the first ever collected; the kept ones are
    // [m_firstSeq, m_endSeq), row `seq` in slot (seq - m_ringSeq) % m_bound.
    qint64 m_ringSeq = 0;
    qint64 m_firstSeq = 0;
    qint64 m_endSeq = 0;
    // The rows from here on have not been offered to the view yet.
    qint64 m_offeredSeq = 0;
    // With no filter the view shows every row offered: [m_viewFirst, m_offeredSeq),
    // nothing listed per row. With one, m_shown lists the view's rows by number.
    bool m_showsAll = true;
    qint64 m_viewFirst = 0;
    std::deque<qint64> m_shown;
    QHash<qint64, QString> m_events;
    qsizetype m_dropped = 0;
    qsizetype m_droppedTold = 0;
    bool m_paused = false;
    Show m_show = Show::All;
    int m_type = -1;
    // The search, upper case; the message types whose name holds it; and the same
    // search as Latin-1 bytes for the hex text (empty when it cannot be in it).
    QString m_search;
    std::array<bool, 256> m_nameHolds{};
    QByteArray m_hexSearch;
    // Hex digits typed together («CACA6C»), matched against whole bytes only.
    QByteArray m_hexDigits;
    QTimer m_batch;
    // When the view last took a batch (the platform's monotonic clock); none yet: -1.
    qint64 m_lastBatchMs = -1;
    FrameDispatcher::Subscription m_frames;
};
