#include "decoders/ui/timestampwindow.h"

#include "decoders/messagevalues.h"
#include "decoders/timestamp.h"
#include "decoders/ui/autorefresh.h"
#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
constexpr int kFirstFrameItems = 11;
} // namespace

TimeStampWindow::TimeStampWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.TimeStampOpen, QStringLiteral("TimeStamp"),
                     QStringLiteral("Request Time Stamp"), parent)
{
    takeFrames(Msg::TimeStamps, [this](const Frame &f) { ShowTimeStamp(f.bytes()); });
    auto *top = new QVBoxLayout(this);

    // Items 1..11 in the left frame, 12..21 in the right; a row is stamp, item, description.
    auto *frames = new QHBoxLayout;
    QGridLayout *items[2];
    for (int i = 0; i < 2; ++i) {
        auto *frame = new QFrame(this);
        frame->setObjectName(QStringLiteral("Frame%1").arg(i + 1));
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        items[i] = new QGridLayout(frame);
        frames->addWidget(frame);
    }
    for (int k = 0; k < kTimeStampItems; ++k) {
        const int item = k + 1;
        QGridLayout *grid = items[item <= kFirstFrameItems ? 0 : 1];
        const int row = item <= kFirstFrameItems ? k : k - kFirstFrameItems;
        ValueText *stamp = addLabel(QStringLiteral("TimeStamp(%1)").arg(k));
        stamp->setMinimumWidth(
            fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00 PM")));
        grid->addWidget(stamp, row, 0);
        grid->addWidget(addLabel(QStringLiteral("Item(%1)").arg(k)), row, 1);
        grid->addWidget(addLabel(QStringLiteral("Description(%1)").arg(k), stampDescription(item)),
                        row, 2);
    }
    // Frame2 holds one item fewer; keep its rows level with Frame1's.
    items[1]->setRowStretch(kFirstFrameItems - 1, 1);
    top->addLayout(frames);

    auto *bottom = new QHBoxLayout;
    auto *options = new QVBoxLayout;
    auto *group = new QButtonGroup(this);
    const QString captions[2] = {QStringLiteral("Search Mode Set"),
                                 QStringLiteral("Search Mode Reset")};
    for (int i = 0; i < 2; ++i) {
        auto *option = new QRadioButton(captions[i], this);
        option->setObjectName(QStringLiteral("Search(%1)").arg(i));
        group->addButton(option, i);
        options->addWidget(option);
    }
    group->button(0)->setChecked(true);
    // Toggled, not clicked: arrow keys move the choice too.
    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Search_Click(id);
    });
    bottom->addLayout(options);
    bottom->addWidget(addRawHexBox(QStringLiteral("RawHex"), 16, 3), 1);

    auto *controls = new QGridLayout;
    QPushButton *autoButton = addButton(QStringLiteral("Auto"), QStringLiteral("Auto"));
    QPushButton *refresh = addButton(QStringLiteral("Refresh"), QStringLiteral("Refresh"));
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    auto *interval = new QLineEdit(this);
    interval->setObjectName(QStringLiteral("AutoRefresh"));
    interval->setMaximumWidth(
        interval->fontMetrics().horizontalAdvance(QStringLiteral("000000000")));
    controls->addWidget(autoButton, 0, 0);
    controls->addWidget(interval, 0, 1);
    controls->addWidget(refresh, 1, 0);
    controls->addWidget(exit, 1, 1);
    bottom->addLayout(controls);
    top->addLayout(bottom);

    // Loading writes the item labels.
    for (int k = 0; k < kTimeStampItems; ++k)
        showFields({{QStringLiteral("Item(%1)").arg(k), QStringLiteral("Item%1").arg(k + 1)}});

    m_refresh = new AutoRefresh(
        g, interval, [this](const void *owner) { sendRequest(owner); }, this);
    connect(refresh, &QPushButton::clicked, m_refresh, &AutoRefresh::Refresh_Click);
    connect(autoButton, &QPushButton::clicked, m_refresh, &AutoRefresh::Auto_Click);
    connect(exit, &QPushButton::clicked, this, &TimeStampWindow::Exit_Click);
}

void TimeStampWindow::Search_Click(int index)
{
    m_searchMode = quint8(index == 1 ? 1 : 0);
}

void TimeStampWindow::sendRequest(const void *owner)
{
    sendTimeStampRequest(m_g, m_searchMode, owner);
}

void TimeStampWindow::Form_Unload()
{
    m_refresh->stop();
    DataWindowBase::Form_Unload();
}

void TimeStampWindow::ShowTimeStamp(QByteArrayView frame)
{
    timeStampTexts(frame, m_texts);
    showMessage(m_texts);
}
