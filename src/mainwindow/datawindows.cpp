#include "mainwindow/datawindows.h"

#include "decoders/ui/conditionwindow.h"
#include "decoders/ui/diagnosiswindow.h"
#include "decoders/ui/modewindow.h"
#include "decoders/ui/positionwindow.h"
#include "decoders/ui/recsatwindow.h"
#include "decoders/ui/timestampwindow.h"
#include "platform/ui/screenplace.h"
#include "quality/ui/historywindow.h"
#include "quality/ui/messageswindow.h"
#include "quality/ui/scatterwindow.h"
#include "quality/ui/signallevelswindow.h"

#include <QWidget>

namespace {

std::size_t slot(DataWindow which)
{
    return std::size_t(which);
}

} // namespace

DataWindows::DataWindows(GPS_Main &g, const QualityWatch &quality, QWidget *mainWindow)
    : QObject(mainWindow), m_g(g), m_quality(quality), m_main(mainWindow)
{
}

DataWindows::~DataWindows()
{
    // Windows without a parent would outlive us; those with one go with it anyway.
    for (QPointer<DataWindowBase> &w : m_windows)
        delete w.data();
}

DataWindowBase *DataWindows::create(DataWindow which)
{
    switch (which) {
    case DataWindow::Condition:
        return new ConditionWindow(m_g, m_main);
    case DataWindow::Diagnosis:
        return new DiagnosisWindow(m_g, m_main);
    case DataWindow::Position:
        return new PositionWindow(m_g, m_main);
    case DataWindow::Mode:
        return new ModeWindow(m_g, m_main);
    case DataWindow::TimeStamp:
        return new TimeStampWindow(m_g, m_main);
    case DataWindow::RecSat:
        return new RecSatWindow(m_g, m_main);
    case DataWindow::SignalLevels:
        return new SignalLevelsWindow(m_g, m_main);
    case DataWindow::History:
        return new HistoryWindow(m_g, m_quality, m_main);
    case DataWindow::Scatter:
        return new ScatterWindow(m_g, m_main);
    case DataWindow::Messages:
        return new MessagesWindow(m_g, m_main);
    }
    return nullptr;
}

void DataWindows::show(DataWindow which)
{
    DataWindowBase *w = open(which);
    if (!w) {
        w = create(which);
        w->setStale(m_silent);
        m_windows[slot(which)] = w;
        // Beside the main window and wholly on its screen, however tall the window.
        placeOnScreen(w, m_main);
    }
    // A minimised window is brought back, not left on the task bar.
    if (w->isMinimized())
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
}

void DataWindows::CloseDataWindows()
{
    for (DataWindow which :
         {DataWindow::Condition, DataWindow::Diagnosis, DataWindow::Position, DataWindow::Mode,
          DataWindow::TimeStamp, DataWindow::RecSat, DataWindow::SignalLevels, DataWindow::History,
          DataWindow::Scatter, DataWindow::Messages}) {
        if (DataWindowBase *w = open(which))
            w->close();
    }
}

void DataWindows::setSilent(bool silent)
{
    if (silent == m_silent)
        return;
    m_silent = silent;
    for (const QPointer<DataWindowBase> &w : m_windows)
        if (w)
            w->setStale(silent);
}

void DataWindows::clearReceiver()
{
    for (const QPointer<DataWindowBase> &w : m_windows)
        if (w && w->isLoaded())
            w->clearReceiver();
}

DataWindowBase *DataWindows::open(DataWindow which) const
{
    // A closed window lingers until its deletion; it no longer counts.
    DataWindowBase *w = m_windows[slot(which)].data();
    return w && w->isLoaded() ? w : nullptr;
}

QWidget *DataWindows::window(DataWindow which) const
{
    return open(which);
}
