#include "decoders/ui/diagnosiswindow.h"

#include "decoders/diagnosis.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QPushButton>

DiagnosisWindow::DiagnosisWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, &g.DiagnosisOpen, QStringLiteral("Diagnosis"), QStringLiteral("Diagnosis"),
                     parent)
{
    takeFrames(Msg::Diagnosis, [this](const Frame &f) { ShowDiagnosis(f.bytes()); });
    auto *grid = new QGridLayout(this);
    grid->addWidget(addLabel(QStringLiteral("Version"), QStringLiteral("Firmware Version:")), 0, 0);
    grid->addWidget(addLabel(QStringLiteral("Error1")), 0, 1);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &DiagnosisWindow::Exit_Click);
    grid->addWidget(exit, 0, 2);
    grid->addWidget(addLabel(QStringLiteral("UnKnown")), 1, 0);
    grid->addWidget(addLabel(QStringLiteral("Error2")), 1, 1);
    grid->addWidget(addLabel(QStringLiteral("CheckSum")), 2, 0);
    grid->addWidget(addLabel(QStringLiteral("Error3")), 2, 1);
    grid->addWidget(addRawHexLabel(QStringLiteral("RawHex")), 3, 0, 1, 3);
    grid->setColumnMinimumWidth(
        0, fontMetrics().horizontalAdvance(QStringLiteral("Unknown Extra Byte: 00   ")));
    grid->setColumnMinimumWidth(
        1, fontMetrics().horizontalAdvance(QStringLiteral("53h Antenna Short   ")));
}

void DiagnosisWindow::ShowDiagnosis(QByteArrayView frame)
{
    diagnosisTexts(frame, m_texts);
    showMessage(m_texts);
}
