#include "decoders/ui/modewindow.h"

#include "decoders/messagevalues.h"
#include "decoders/mode.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QPushButton>

ModeWindow::ModeWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.ModeOpen, QStringLiteral("Mode"),
                     QStringLiteral("Request Receiver Mode"), parent)
{
    takeFrames(Msg::Mode, [this](const Frame &f) { ShowMode(f.bytes()); });
    auto *grid = new QGridLayout(this);
    grid->addWidget(addLabel(QStringLiteral("Mode")), 0, 0);
    grid->addWidget(addLabel(QStringLiteral("PDOP")), 0, 1);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &ModeWindow::Exit_Click);
    grid->addWidget(exit, 0, 2);
    grid->addWidget(addLabel(QStringLiteral("MinElevat")), 1, 0);
    grid->addWidget(addLabel(QStringLiteral("SHeight")), 1, 1);
    grid->addWidget(addLabel(QStringLiteral("MinSignal")), 2, 0);
    grid->addWidget(addLabel(QStringLiteral("Smoothing")), 3, 0);
    grid->addWidget(addLabel(QStringLiteral("Search")), 3, 1);
    grid->addWidget(addRawHexLabel(QStringLiteral("RawHex")), 4, 0, 1, 3);
    grid->setColumnMinimumWidth(
        0, fontMetrics().horizontalAdvance(QStringLiteral("Position Fix Mode: 2D only   ")));
    grid->setColumnMinimumWidth(
        1, fontMetrics().horizontalAdvance(QStringLiteral("Not Search Mode:Not Finished ")));
}

void ModeWindow::ShowMode(QByteArrayView frame)
{
    modeTexts(frame, m_texts);
    showMessage(m_texts);
}
