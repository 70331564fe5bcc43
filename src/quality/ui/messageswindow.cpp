#include "quality/ui/messageswindow.h"

#include "link/gpsmain.h"
#include "link/hextext.h"
#include "link/messagetypes.h"
#include "platform/messageboxes.h"
#include "quality/messagelog.h"
#include "widgets/textline.h"

#include <QAction>
#include <QApplication>
#include <QCache>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Draws a cell's text in one pass, clipped to its column: the item view's own delegate
// lays each text out three times (for its size, its elision and its drawing), and every
// batch repaints the whole visible table. A row's texts never change, so their layouts
// are kept (QStaticText) and a repaint shapes only the rows that are new to it.
class PlainTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        // The background, the selection, the hover and the focus frame as the style draws
        // them; a plain cell has none, and the view has filled its background already.
        const bool plain = !(opt.state & (QStyle::State_Selected | QStyle::State_HasFocus |
                                          QStyle::State_MouseOver)) &&
                           opt.backgroundBrush.style() == Qt::NoBrush &&
                           !(opt.features & QStyleOptionViewItem::Alternate);
        if (!plain)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty())
            return;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active)
                                               ? QPalette::Normal
                                               : QPalette::Inactive;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect room = opt.rect.adjusted(margin, 0, -margin, 0);
        const QStaticText &laid = layout(text, opt.font);
        const QSizeF size = laid.size();
        const Qt::Alignment align = QStyle::visualAlignment(opt.direction, opt.displayAlignment);
        const qreal x =
            align & Qt::AlignRight ? room.left() + room.width() - size.width() : qreal(room.left());
        const qreal y = room.top() + (room.height() - size.height()) / 2;
        painter->save();
        painter->setFont(opt.font);
        if (size.width() > room.width())
            painter->setClipRect(room, Qt::IntersectClip);
        painter->setPen(opt.palette.color(group, opt.state & QStyle::State_Selected
                                                     ? QPalette::HighlightedText
                                                     : QPalette::Text));
        painter->drawStaticText(QPointF(x, y), laid);
        painter->restore();
    }

private:
    // The layout of a text in a font, from the cache when it has been drawn lately. A
    // new font lays every text out anew: the sizes kept are the old font's.
    const QStaticText &layout(const QString &text, const QFont &font) const
    {
        if (font != m_font) {
            m_layouts.clear();
            m_font = font;
        }
        if (const QStaticText *kept = m_layouts.object(text))
            return *kept;
        auto *laid = new QStaticText(text);
        laid->setTextFormat(Qt::PlainText);
        laid->setPerformanceHint(QStaticText::AggressiveCaching);
        laid->prepare(QTransform(), font);
        m_layouts.insert(text, laid);
        return *laid;
    }

    // Two texts of each row are its own (the time and the bytes), the others shared: a
    // tall window's screenful of rows a few times over. The cache is full within seconds
    // of a fast line, so what it holds never grows after.
    mutable QCache<QString, QStaticText> m_layouts{512};
    mutable QFont m_font;
};

} // namespace

MessagesWindow::MessagesWindow(GPS_Main &g, QWidget *parent, qsizetype bound)
    : DataWindowBase(g, nullptr, QStringLiteral("Messages"), QStringLiteral("Messages"), parent)
{
    m_log = new MessageLog(g, bound > 0 ? bound : MessageLog::kBound, this);
    auto *top = new QVBoxLayout(this);

    auto *filters = new QHBoxLayout;
    m_direction = new QComboBox(this);
    m_direction->setObjectName(QStringLiteral("Direction"));
    m_direction->addItems({QStringLiteral("In and out"), QStringLiteral("Received (in)"),
                           QStringLiteral("Sent (out)"), QStringLiteral("Events")});
    m_direction->setAccessibleName(QStringLiteral("Direction filter"));
    filters->addWidget(caption(QStringLiteral("&Show:"), m_direction));
    filters->addWidget(m_direction);
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("MessageType"));
    m_type->addItem(QStringLiteral("All types"), -1);
    for (const MessageType &t : kMessageTypes)
        m_type->addItem(QStringLiteral("%1 %2").arg(HexByte(t.type), QLatin1String(t.name)),
                        int(t.type));
    m_type->setAccessibleName(QStringLiteral("Type filter"));
    filters->addWidget(caption(QStringLiteral("T&ype:"), m_type));
    filters->addWidget(m_type);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("Search"));
    m_search->setPlaceholderText(QStringLiteral("hex bytes or name"));
    m_search->setClearButtonEnabled(true);
    m_search->setAccessibleName(QStringLiteral("Search"));
    filters->addWidget(caption(QStringLiteral("Sea&rch:"), m_search));
    filters->addWidget(m_search, 1);
    top->addLayout(filters);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("MessageTable"));
    m_table->setAccessibleName(QStringLiteral("Messages"));
    m_table->setModel(m_log);
    // Tab leaves the table for the buttons rather than walking its cells.
    m_table->setTabKeyNavigation(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // One height for every row and fixed column widths: the view never measures rows.
    QHeaderView *rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView *columns = m_table->horizontalHeader();
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // The bytes get room for the longest frame; the view scrolls sideways to them.
    const int widths[] = {25, 6, 5, 13, 7, 9, 150};
    for (int c = 0; c < int(std::size(widths)); ++c)
        columns->resizeSection(c, widths[c] * digit);
    columns->setStretchLastSection(true);
    // The names, an event's text among them, keep the view's own delegate, which elides.
    auto *plain = new PlainTextDelegate(m_table);
    for (int c = 0; c < MessageLog::kColumns; ++c)
        if (c != MessageLog::Name)
            m_table->setItemDelegateForColumn(c, plain);
    m_table->setMinimumSize(110 * digit, 20 * rows->defaultSectionSize());
    top->addWidget(m_table, 1);

    auto *copy = new QAction(QStringLiteral("Copy"), m_table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &MessagesWindow::copySelected);
    m_table->addAction(copy);

    auto *bottom = new QHBoxLayout;
    m_dropped = new QLabel(this);
    m_dropped->setObjectName(QStringLiteral("Dropped"));
    bottom->addWidget(m_dropped, 1);
    QPushButton *pause = addButton(QStringLiteral("Pause"), QStringLiteral("&Pause"));
    pause->setCheckable(true);
    pause->setToolTip(QStringLiteral("Hold the view still; the messages go on being collected"));
    connect(pause, &QPushButton::toggled, m_log, &MessageLog::setPaused);
    QPushButton *clear = addButton(QStringLiteral("Clear"), QStringLiteral("&Clear"));
    connect(clear, &QPushButton::clicked, m_log, &MessageLog::clear);
    QPushButton *copyButton = addButton(QStringLiteral("Copy"), QStringLiteral("C&opy"));
    copyButton->setToolTip(QStringLiteral("Copy the selected rows, tab-separated (Ctrl+C)"));
    connect(copyButton, &QPushButton::clicked, this, &MessagesWindow::copySelected);
    QPushButton *save = addButton(QStringLiteral("SaveCsv"), QStringLiteral("Sa&ve CSV..."));
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save CSV"), QStringLiteral("messages.csv"),
            QStringLiteral("CSV (*.csv);;All files (*)"));
        if (!path.isEmpty())
            saveCsv(path);
    });
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("E&xit"));
    connect(exit, &QPushButton::clicked, this, &MessagesWindow::Exit_Click);
    for (QPushButton *b : {pause, clear, copyButton, save, exit})
        bottom->addWidget(b);
    top->addLayout(bottom);
    // The console says nothing of one message's age: it shows them all.
    messageAge()->hide();

    connect(m_direction, &QComboBox::currentIndexChanged, this, &MessagesWindow::applyFilter);
    connect(m_type, &QComboBox::currentIndexChanged, this, &MessagesWindow::applyFilter);
    m_searchDelay.setObjectName(QStringLiteral("SearchDelay"));
    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(kSearchDelayMs);
    connect(&m_searchDelay, &QTimer::timeout, this, &MessagesWindow::applyFilter);
    connect(m_search, &QLineEdit::textChanged, &m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_search, &QLineEdit::returnPressed, this, &MessagesWindow::applyFilter);
    connect(m_log, &MessageLog::droppedChanged, this, &MessagesWindow::showDropped);
    // Newest at the bottom: a view scrolled to its end follows it; one scrolled up
    // stays where the reader is.
    connect(m_log, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_table->verticalScrollBar();
        m_atBottom = bar->value() >= bar->maximum();
    });
    connect(m_log, &MessageLog::appended, this, [this] {
        if (m_atBottom)
            m_table->scrollToBottom();
    });
}

MessagesWindow::~MessagesWindow() = default;

void MessagesWindow::Form_Unload()
{
    m_log->detach();
    DataWindowBase::Form_Unload();
}

void MessagesWindow::applyFilter()
{
    m_searchDelay.stop();
    m_log->setFilter(MessageLog::Show(m_direction->currentIndex()), m_type->currentData().toInt(),
                     m_search->text());
    m_table->scrollToBottom();
}

void MessagesWindow::showDropped(qsizetype dropped)
{
    m_dropped->setText(dropped == 0 ? QString()
                                    : QStringLiteral("%1 older rows dropped (the last %2 are kept)")
                                          .arg(QLocale::c().toString(qlonglong(dropped)),
                                               QLocale::c().toString(qlonglong(m_log->bound()))));
}

QString MessagesWindow::selectedText() const
{
    QList<int> rows;
    for (const QModelIndex &i : m_table->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return m_log->rowsText(rows, QLatin1Char('\t'));
}

void MessagesWindow::copySelected()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool MessagesWindow::saveCsv(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && m_log->writeCsv(file) &&
        file.flush()) {
        file.close();
        return true;
    }
    m_g.platform().boxes->show(
        this, QStringLiteral("Could not save %1: %2").arg(quotedPath(path), file.errorString()),
        QStringLiteral("Kestrel"), MsgButtons::Ok, MsgIcon::Critical, MsgAnswer::Ok);
    return false;
}
