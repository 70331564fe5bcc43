// The main window's menu bar and the handlers of its receiver commands.
#include "about/ui/gpsabout.h"
#include "link/commands.h"
#include "link/messagetypes.h"
#include "link/portmessage.h"
#include "link/ui/portdialog.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "platform/messageboxes.h"
#include "recording/ui/recordreplay.h"
#include "setup/ui/setupwindows.h"
#include "share/nmeashare.h"
#include "share/ui/sharenmea.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction *addItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

QMenu *addMenu(QMenuBar *bar, const QString &name, const QString &caption)
{
    QMenu *m = bar->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
}

} // namespace

void Navigate::buildMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *file = addMenu(bar, QStringLiteral("mnuFile"), QStringLiteral("&File"));
    connect(addItem(file, QStringLiteral("mnuSelectPort"), QStringLiteral("Select &Port...")),
            &QAction::triggered, this, &Navigate::SelectPort_Click);
    m_recordReplay->addMenuItems(file);
    file->addSeparator();
    connect(addItem(file, QStringLiteral("NavExit"), QStringLiteral("E&xit")), &QAction::triggered,
            this, &Navigate::NavExit_Click);

    QMenu *view = addMenu(bar, QStringLiteral("mnuView"), QStringLiteral("&View"));
    connect(addItem(view, QStringLiteral("NavCond"), QStringLiteral("&Condition")),
            &QAction::triggered, this, &Navigate::NavCond_Click);
    connect(addItem(view, QStringLiteral("NavDiag"), QStringLiteral("&Diagnosis")),
            &QAction::triggered, this, &Navigate::NavDiag_Click);
    connect(addItem(view, QStringLiteral("NavPos"), QStringLiteral("&Position")),
            &QAction::triggered, this, &Navigate::NavPos_Click);
    connect(addItem(view, QStringLiteral("NavMode"), QStringLiteral("Receiver &Mode")),
            &QAction::triggered, this, &Navigate::NavMode_Click);
    connect(addItem(view, QStringLiteral("NavRevSat"), QStringLiteral("Receive &Sat")),
            &QAction::triggered, this, &Navigate::NavRevSat_Click);
    connect(addItem(view, QStringLiteral("NavStamp"), QStringLiteral("&Time Stamp")),
            &QAction::triggered, this, &Navigate::NavStamp_Click);
    view->addSeparator();
    connect(addItem(view, QStringLiteral("NavLevels"), QStringLiteral("Signal &Levels")),
            &QAction::triggered, this, [this] { m_dataWindows->show(DataWindow::SignalLevels); });
    connect(addItem(view, QStringLiteral("NavHistory"), QStringLiteral("H&istory")),
            &QAction::triggered, this, [this] { m_dataWindows->show(DataWindow::History); });
    connect(addItem(view, QStringLiteral("NavScatter"), QStringLiteral("Position Sc&atter")),
            &QAction::triggered, this, [this] { m_dataWindows->show(DataWindow::Scatter); });
    connect(addItem(view, QStringLiteral("NavMessages"), QStringLiteral("M&essages")),
            &QAction::triggered, this, [this] { m_dataWindows->show(DataWindow::Messages); });
    view->addSeparator();
    QMenu *showSat = view->addMenu(QStringLiteral("S&how Sat Position"));
    showSat->setObjectName(QStringLiteral("ShowSat"));
    showSat->menuAction()->setObjectName(QStringLiteral("ShowSat"));
    const QStringList labelModes = {QStringLiteral("None"), QStringLiteral("Sat Number"),
                                    QStringLiteral("Sat Sig Level"),
                                    QStringLiteral("Level and Number")};
    for (int i = 0; i < labelModes.size(); ++i) {
        QAction *a = addItem(showSat, QStringLiteral("ShowSatPos(%1)").arg(i), labelModes[i]);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { ShowSatPos_Click(i); });
    }
    QAction *status =
        addItem(view, QStringLiteral("ShoStatWin"), QStringLiteral("Show Status Window"));
    status->setCheckable(true);
    connect(status, &QAction::triggered, this, &Navigate::ShoStatWin_Click);
    buildUnitsMenu(view);

    QMenu *setup = addMenu(bar, QStringLiteral("mnuSetup"), QStringLiteral("&Setup"));
    connect(addItem(setup, QStringLiteral("mnuPosition"), QStringLiteral("Set &Position")),
            &QAction::triggered, this, &Navigate::mnuPosition_Click);
    connect(addItem(setup, QStringLiteral("mnuHeight"), QStringLiteral("Set &Height")),
            &QAction::triggered, this, &Navigate::mnuHeight_Click);
    connect(addItem(setup, QStringLiteral("mnuTime"), QStringLiteral("Set &Time")),
            &QAction::triggered, this, &Navigate::mnuTime_Click);
    connect(addItem(setup, QStringLiteral("mnuTimeStamp"), QStringLiteral("Set Time &Stamp")),
            &QAction::triggered, this, &Navigate::mnuTimeStamp_Click);
    // The receiver's modes are shown under View; there is nothing to set here yet.
    addItem(setup, QStringLiteral("mnuMode"), QStringLiteral("Set Receiver &Mode"))
        ->setEnabled(false);
    connect(addItem(setup, QStringLiteral("mnuReset"), QStringLiteral("Set System &Reset")),
            &QAction::triggered, this, &Navigate::mnuReset_Click);
    connect(addItem(setup, QStringLiteral("mnuCold"), QStringLiteral("Set Start &Cold Start Fix")),
            &QAction::triggered, this, &Navigate::mnuCold_Click);
    // Present only where the program shares NMEA at all (not in windows made by tests).
    if (NmeaShare *share = m_g.nmeaShare()) {
        connect(addItem(setup, QStringLiteral("mnuShareNmea"), QStringLiteral("Share as &NMEA...")),
                &QAction::triggered, this, [this, share] {
                    ShareNmea dialog(m_g, *share, this);
                    dialog.Form_Load();
                    dialog.exec();
                });
    }
    QMenu *tz = setup->addMenu(QStringLiteral("&Time Zone"));
    tz->setObjectName(QStringLiteral("SetLocalTZ"));
    tz->menuAction()->setObjectName(QStringLiteral("SetLocalTZ"));
    for (int i = 0; i <= 24; ++i) {
        const int offset = i - 12;
        const QString caption =
            offset == 0 ? QStringLiteral("0:00 (UTC)") : QStringLiteral("%1:00").arg(offset);
        QAction *a = addItem(tz, QStringLiteral("TZ(%1)").arg(i), caption);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { TZ_Click(i); });
    }
    addComputerTimeZone(tz);

    QMenu *help = addMenu(bar, QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
    connect(addItem(help, QStringLiteral("NavAbout"), QStringLiteral("&About")),
            &QAction::triggered, this, &Navigate::NavAbout_Click);
}

QAction *Navigate::menuItem(const QString &name) const
{
    const auto actions = findChildren<QAction *>(name);
    return actions.isEmpty() ? nullptr : actions.first();
}

bool Navigate::confirm(const QString &text, const QString &title)
{
    return m_g.platform().boxes->show(this, text, title, MsgButtons::YesNo, MsgIcon::Critical,
                                      MsgAnswer::No) == MsgAnswer::Yes;
}

void Navigate::SelectPort_Click()
{
    if (auto *port = qobject_cast<Port *>(m_portDialog))
        port->change();
}

void Navigate::tellIfNotSent(bool sent)
{
    if (!sent)
        m_g.platform().boxes->show(this, notOpenText(), windowTitle(), MsgButtons::Ok,
                                   MsgIcon::Exclamation, MsgAnswer::Ok);
}

void Navigate::NavExit_Click()
{
    close();
}

void Navigate::NavCond_Click()
{
    m_g.SendRequest(Msg::Condition);
    m_dataWindows->show(DataWindow::Condition);
}

void Navigate::NavDiag_Click()
{
    m_g.SendRequest(Msg::Diagnosis);
    m_dataWindows->show(DataWindow::Diagnosis);
}

void Navigate::NavPos_Click()
{
    m_dataWindows->show(DataWindow::Position);
}

void Navigate::NavMode_Click()
{
    m_g.SendRequest(Msg::Mode);
    m_dataWindows->show(DataWindow::Mode);
}

void Navigate::NavRevSat_Click()
{
    m_g.SendRequest(Msg::Satellites);
    m_dataWindows->show(DataWindow::RecSat);
}

void Navigate::NavStamp_Click()
{
    sendTimeStampRequest(m_g, 0);
    m_dataWindows->show(DataWindow::TimeStamp);
}

void Navigate::mnuPosition_Click()
{
    showSetPosition(m_g, this);
}

void Navigate::mnuHeight_Click()
{
    showSetHeight(m_g, this);
}

void Navigate::mnuTime_Click()
{
    showSetTime(m_g, this);
}

void Navigate::mnuTimeStamp_Click()
{
    if (!confirm(QStringLiteral("Reset Time Stamp"), QStringLiteral("Reset Time Stamps Now")))
        return;
    tellIfNotSent(sendTimeStampReset(m_g));
}

void Navigate::mnuReset_Click()
{
    if (confirm(QStringLiteral("Set System Reset Now"), QStringLiteral("System Reset")))
        tellIfNotSent(sendSystemReset(m_g));
}

void Navigate::mnuCold_Click()
{
    if (confirm(QStringLiteral("Set Cold Start Fix Now"), QStringLiteral("Cold Start Fix")))
        tellIfNotSent(sendColdStart(m_g));
}

void Navigate::NavAbout_Click()
{
    showAbout(m_g, this);
}
