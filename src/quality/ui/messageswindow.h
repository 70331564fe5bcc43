#pragma once

#include "decoders/ui/datawindow.h"

#include <QTimer>

class MessageLog;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

// "Messages": every frame received and sent and the link's events, newest at the
// bottom, filtered by direction and type and searched over the names and the bytes.
// Pause holds the view still while the rows go on being collected; Clear empties it;
// Ctrl+C copies the selected rows tab-separated; "Save CSV..." writes the view. The
// rows are collected while the window is open.
class MessagesWindow : public DataWindowBase {
    Q_OBJECT
public:
    // Typing in the search box filters this long after the last key (Return at once):
    // a pass over 100,000 rows per key would hold up the typing.
    static constexpr int kSearchDelayMs = 250;

    // `bound`: the rows kept (the last 100,000 unless a test wants fewer).
    explicit MessagesWindow(GPS_Main &g, QWidget *parent = nullptr, qsizetype bound = 0);
    ~MessagesWindow() override;

    MessageLog *log() const { return m_log; }
    QTableView *table() const { return m_table; }
    // The selected rows as the clipboard gets them.
    QString selectedText() const;
    void copySelected();
    // Writes the view to `path`; false (and a message) when it could not.
    bool saveCsv(const QString &path);

protected:
    void Form_Unload() override;

private:
    void applyFilter();
    void showDropped(qsizetype dropped);

    MessageLog *m_log = nullptr;
    QTableView *m_table = nullptr;
    QComboBox *m_direction = nullptr;
    QComboBox *m_type = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_dropped = nullptr;
    QTimer m_searchDelay{this};
    bool m_atBottom = true;
};
