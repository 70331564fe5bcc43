#include "decoders/ui/conditionwindow.h"

#include "decoders/condition.h"
#include "decoders/messagevalues.h"
#include "decoders/ui/autorefresh.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kConditionRequest = Msg::Condition;
}

ConditionWindow::ConditionWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.ConditionOpen, QStringLiteral("Condition"),
                     QStringLiteral("Satellite Condition"), parent)
{
    takeFrames(Msg::Condition, [this](const Frame &f) { ShowCondition(f.bytes()); });
    auto *top = new QVBoxLayout(this);
    top->addWidget(addLabel(QStringLiteral("CDate")));

    auto *middle = new QHBoxLayout;
    auto *text = new QVBoxLayout;
    for (const char *name :
         {"Condition", "SHealth", "SVisible", "SHeight", "Longitude", "Latitude"})
        text->addWidget(addLabel(QString::fromLatin1(name)));
    text->addStretch();
    middle->addLayout(text, 1);

    // Pairs 1, 3, 5, 7 in the left column pair, 2, 4, 6, 8 in the right.
    auto *pairs = new QGridLayout;
    for (int c = 0; c < 4; ++c) {
        QLabel *heading = caption(c % 2 == 0 ? QStringLiteral("Sat") : QStringLiteral("Level"));
        heading->setObjectName(QStringLiteral("Label1(%1)").arg(c));
        pairs->addWidget(heading, 0, c);
    }
    for (int k = 1; k <= 8; ++k) {
        const int row = (k + 1) / 2;
        const int column = (k % 2 == 1) ? 0 : 2;
        pairs->addWidget(addCell(QStringLiteral("Satellite(%1)").arg(k), 2), row, column);
        pairs->addWidget(addCell(QStringLiteral("Level(%1)").arg(k), 2), row, column + 1);
    }
    pairs->setColumnMinimumWidth(2, 40);
    middle->addLayout(pairs);
    top->addLayout(middle);

    auto *buttons = new QHBoxLayout;
    QPushButton *refresh = addButton(QStringLiteral("Refresh"), QStringLiteral("Refresh"));
    QPushButton *autoButton = addButton(QStringLiteral("Auto"), QStringLiteral("Auto"));
    auto *interval = new QLineEdit(this);
    interval->setObjectName(QStringLiteral("AutoRefresh"));
    interval->setMaximumWidth(
        interval->fontMetrics().horizontalAdvance(QStringLiteral("000000000")));
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    buttons->addWidget(refresh);
    buttons->addWidget(autoButton);
    buttons->addWidget(interval);
    buttons->addWidget(exit);
    top->addLayout(buttons);

    top->addWidget(addRawHexBox(QStringLiteral("RawHex"), 16, 3));

    m_refresh = new AutoRefresh(
        g, interval, [&g](const void *owner) { g.SendRequest(kConditionRequest, owner); }, this);
    connect(refresh, &QPushButton::clicked, m_refresh, &AutoRefresh::Refresh_Click);
    connect(autoButton, &QPushButton::clicked, m_refresh, &AutoRefresh::Auto_Click);
    connect(exit, &QPushButton::clicked, this, &ConditionWindow::Exit_Click);
}

void ConditionWindow::Form_Unload()
{
    m_refresh->stop();
    DataWindowBase::Form_Unload();
}

void ConditionWindow::ShowCondition(QByteArrayView frame)
{
    conditionTexts(frame, m_texts);
    showMessage(m_texts);
}
