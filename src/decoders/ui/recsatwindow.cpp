#include "decoders/ui/recsatwindow.h"

#include "decoders/sattable.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

RecSatWindow::RecSatWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.RecSatOpen, QStringLiteral("RecSat"), QStringLiteral("Receive Sat"),
                     parent)
{
    takeFrames(Msg::Satellites, [this](const Frame &f) { ShowRecSat(f.bytes()); });
    auto *top = new QGridLayout(this);

    auto *grid = new QGridLayout;
    const QStringList headings = {QStringLiteral("ID"),      QStringLiteral("Cond"),
                                  QStringLiteral("SVACC"),   QStringLiteral("Level"),
                                  QStringLiteral("Azimuth"), QStringLiteral("Elevation")};
    const QStringList cells = {QStringLiteral("ID"),      QStringLiteral("Condition"),
                               QStringLiteral("SVACC"),   QStringLiteral("Level"),
                               QStringLiteral("Azimuth"), QStringLiteral("Elevation")};
    const int chars[] = {3, 6, 2, 4, 9, 10};
    for (int c = 0; c < headings.size(); ++c)
        grid->addWidget(caption(headings[c]), 0, c + 1);
    for (int k = 1; k <= 8; ++k) {
        grid->addWidget(caption(QStringLiteral("SAT%1").arg(k)), k, 0);
        for (int c = 0; c < cells.size(); ++c)
            grid->addWidget(addCell(QStringLiteral("%1(%2)").arg(cells[c]).arg(k), chars[c]), k,
                            c + 1);
    }
    top->addLayout(grid, 0, 0);

    // Four columns of eight satellites, headed by their first number.
    auto *almanac = new QGroupBox(QStringLiteral("Satellites Almanac"), this);
    almanac->setObjectName(QStringLiteral("Frame1"));
    auto *health = new QGridLayout(almanac);
    for (int i = 0; i < 4; ++i) {
        ValueText *heading =
            addLabel(QStringLiteral("Health(%1)").arg(36 - i), QString::number(8 * i + 1));
        heading->setAlignment(Qt::AlignCenter);
        health->addWidget(heading, 0, i);
        for (int j = 1; j <= 8; ++j) {
            ValueText *cell = addCell(QStringLiteral("Health(%1)").arg(8 * i + j), 1);
            cell->setAlignment(Qt::AlignCenter);
            health->addWidget(cell, j, i);
        }
    }
    health->addWidget(caption(QStringLiteral("Elapsed Days")), 9, 0, 1, 3);
    health->addWidget(addCell(QStringLiteral("Health(0)"), 3), 9, 3);
    top->addWidget(almanac, 0, 1);

    top->addWidget(addRawHexBox(QStringLiteral("RawHex"), 17, 3), 1, 0);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &RecSatWindow::Exit_Click);
    top->addWidget(exit, 1, 1, Qt::AlignTop);
}

void RecSatWindow::ShowRecSat(QByteArrayView frame)
{
    recSatTexts(frame, m_texts);
    showMessage(m_texts);
}
