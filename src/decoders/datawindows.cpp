#include "datawindows.h"

#include <QWidget>

DataWindows::DataWindows(GPS_Main &g, QWidget *mainWindow) : m_g(g), m_main(mainWindow) {}

DataWindows::~DataWindows() = default;

void DataWindows::show(DataWindow which)
{
    Q_UNUSED(which);
}

void DataWindows::CloseDataWindows() {}

QWidget *DataWindows::window(DataWindow which) const
{
    Q_UNUSED(which);
    return nullptr;
}

void DataWindows::ShowPosition() {}
void DataWindows::ShowCondition() {}
void DataWindows::ShowDiagnosis() {}
void DataWindows::ShowMode() {}
void DataWindows::ShowTimeStamp() {}
void DataWindows::ShowRecSat() {}
