#include "decoders/ui/positionwindow.h"

#include "decoders/position.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PositionWindow::PositionWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.PositionOpen, QStringLiteral("Position"),
                     QStringLiteral("Request Position Data"), parent)
{
    takeFrames(Msg::Navigation, [this](const Frame &f) { ShowPosition(f.bytes()); });
    auto *top = new QVBoxLayout(this);

    // Rows 1 to 3: headings, the raw bytes, the decoded values under them.
    auto *values = new QGridLayout;
    const QStringList headings = {QStringLiteral("Latitude"), QStringLiteral("Longitude"),
                                  QStringLiteral("Height"),   QStringLiteral("Heading"),
                                  QStringLiteral("Err"),      QStringLiteral("Speed"),
                                  QStringLiteral("Err")};
    const QStringList hexNames = {QStringLiteral("HexLat"),     QStringLiteral("HexLon"),
                                  QStringLiteral("HexHeight"),  QStringLiteral("HexHead"),
                                  QStringLiteral("HexHeadErr"), QStringLiteral("HexSpeed"),
                                  QStringLiteral("HexSpeedErr")};
    const QStringList curNames = {QStringLiteral("CurLat"),     QStringLiteral("CurLon"),
                                  QStringLiteral("CurHeight"),  QStringLiteral("CurHead"),
                                  QStringLiteral("CurHeadErr"), QStringLiteral("CurSpeed"),
                                  QStringLiteral("CurSpeedErr")};
    const int curChars[] = {11, 12, 7, 11, 10, 8, 6};
    values->addWidget(caption(QStringLiteral("Hex")), 1, 0);
    values->addWidget(caption(QStringLiteral("Current")), 2, 0);
    for (int c = 0; c < headings.size(); ++c) {
        ValueText *hex = addTextBox(hexNames[c], curChars[c]);
        ValueText *current = addTextBox(curNames[c], curChars[c]);
        values->addWidget(caption(headings[c], current), 0, c + 1);
        values->addWidget(hex, 1, c + 1);
        values->addWidget(current, 2, c + 1);
    }
    top->addLayout(values);

    // Row 4: dilutions and the time.
    auto *row4 = new QHBoxLayout;
    // Each caption names the box after it.
    const auto captioned = [this](QHBoxLayout *row, const QString &text, ValueText *box) {
        row->addWidget(caption(text, box));
        row->addWidget(box);
    };
    captioned(row4, QStringLiteral("HDOP"), addTextBox(QStringLiteral("HDOP"), 5));
    captioned(row4, QStringLiteral("VDOP"), addTextBox(QStringLiteral("VDOP"), 5));
    captioned(row4, QStringLiteral("Local Date + Time"),
              addTextBox(QStringLiteral("TimeDate"), 24));
    row4->addStretch();
    top->addLayout(row4);

    // Row 5: satellite count, the raw fix status and the error ellipse.
    auto *row5 = new QHBoxLayout;
    captioned(row5, QStringLiteral("Sats"), addTextBox(QStringLiteral("Sats"), 3));
    row5->addWidget(addTextBox(QStringLiteral("Validity"), 3));
    captioned(row5, QStringLiteral("Error Ellipse 1"), addTextBox(QStringLiteral("ErrEll1"), 4));
    captioned(row5, QStringLiteral("Error Ellipse 2"), addTextBox(QStringLiteral("ErrEll2"), 4));
    row5->addStretch();
    top->addLayout(row5);

    // Rows 6 to 9: two tracking channels per status byte, the undecoded bytes at the right.
    auto *channels = new QGridLayout;
    const QStringList right[4] = {
        {QStringLiteral("Hexnu1"), QStringLiteral("Hexnu2"), QStringLiteral("Hexnu3")},
        {QStringLiteral("SatUse1"), QStringLiteral("SatUse2"), QStringLiteral("SatUse3"),
         QStringLiteral("SatUse4")},
        {QStringLiteral("UnUsed"), QStringLiteral("CheckSum"), QStringLiteral("Terminator")},
        {}};
    for (int r = 0; r < 4; ++r) {
        const int odd = 2 * r + 1;
        channels->addWidget(addTextBox(QStringLiteral("Condition(%1)").arg(odd), 10), r, 0);
        channels->addWidget(addTextBox(QStringLiteral("Level(%1)").arg(odd), 3), r, 1);
        channels->addWidget(addTextBox(QStringLiteral("SatsHex%1").arg(r + 1), 2), r, 2);
        channels->addWidget(addTextBox(QStringLiteral("Condition(%1)").arg(odd + 1), 10), r, 3);
        channels->addWidget(addTextBox(QStringLiteral("Level(%1)").arg(odd + 1), 3), r, 4);
        for (int c = 0; c < right[r].size(); ++c)
            channels->addWidget(addTextBox(right[r][c], 2), r, 6 + c);
    }
    QPushButton *exit = addButton(QStringLiteral("ExitGPS"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &PositionWindow::Exit_Click);
    channels->addWidget(exit, 3, 6, 1, 4);
    channels->setColumnMinimumWidth(5, 12);
    channels->setColumnStretch(5, 1);
    top->addLayout(channels);

    // Row 10: the whole frame.
    top->addWidget(addRawHexBox(QStringLiteral("Text3"), 22, 3));
}

void PositionWindow::ShowPosition(QByteArrayView frame)
{
    positionTexts(frame, m_g.shownTimeZone(), m_texts);
    showMessage(m_texts);
}
