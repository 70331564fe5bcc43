#pragma once

#include "decoders/navstatus.h"
#include "link/gpsmain.h"
#include "widgets/twips.h"

#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <QVector>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class PictureBox;
class DataWindows;
class PortKeeper;
class QualityWatch;
class RecordReplay;
class SerialPort;
class TextLine;
class ValueText;

// The main window: status panel, sky plot, log box and the program's menu bar.
// It owns the serial port; closing it closes the port and every other window. It has
// SatTable filled from every satellite frame and shows every navigation frame.
class Navigate : public QMainWindow {
    Q_OBJECT
public:
    // The quality watch gives the status line its time to first fix and History its data.
    Navigate(GPS_Main &g, const QualityWatch &quality, std::unique_ptr<SerialPort> port,
             QWidget *parent = nullptr);
    ~Navigate() override;

    void Form_Load();
    // Sends the navigation request, lets pending events run once, then the B7 request.
    void Form_Activate();
    void Form_Unload();
    // Lays the window out for its new size (rules in navigatelayout.h) and redraws the plot.
    void Form_Resize();
    // Clears the sky plot and draws it again from the shared state.
    void DrawSkyPlot();

    PortKeeper &MSComm1() { return *m_keeper; }
    DataWindows &dataWindows() { return *m_dataWindows; }
    // File, Record, Open Recording and Export.
    RecordReplay &recordReplay() { return *m_recordReplay; }
    // The port dialog, closed with this window.
    void setPortDialog(QWidget *dialog) { m_portDialog = dialog; }

    // Menu handlers.
    void NavExit_Click();
    // File, Select Port...: the port dialog again; Cancel keeps the port as it is.
    void SelectPort_Click();
    void NavCond_Click();
    void NavDiag_Click();
    void NavPos_Click();
    void NavMode_Click();
    void NavRevSat_Click();
    void NavStamp_Click();
    void mnuPosition_Click();
    void mnuHeight_Click();
    void mnuTime_Click();
    void mnuTimeStamp_Click();
    void mnuReset_Click();
    void mnuCold_Click();
    void NavAbout_Click();
    void ShoStatWin_Click();
    void ShowSatPos_Click(int Index);
    void TZ_Click(int Index);
    // Setup, Time Zone, "Computer's time zone": local time by the computer's zone rules.
    void TZComputer_Click();
    // View, Units: saved, and shown at once.
    void Units_Click(const Units &units);

    // The status panel and the sky plot for a navigation frame.
    void ShowNavStatus(QByteArrayView frame);

    QAction *menuItem(const QString &name) const;
    // A status box or label by its name ("CurLat", "Label1(3)"), or null.
    QWidget *control(const QString &name) const;
    PictureBox &Picture1() const { return *m_picture; }
    // The status line under the client area: the link's state, ages, counts, last command.
    TextLine *linkStatus() const { return m_linkStatus; }
    // Brings the status line and the stale look up to date; a timer calls it a few
    // times a second.
    void updateLinkStatus();
    // Whether the fix and the plot are shown as no longer live.
    bool showsStale() const { return m_stale; }
    // Whether the position, height, heading and speed are shown as no measurement.
    bool showsNoFix() const { return m_noFix; }

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    // The receiver's clock against the computer's, in the status line's tooltip.
    void updateClockOffsetTip();
    void buildMenus();
    void buildUnitsMenu(QMenu *view);
    void addComputerTimeZone(QMenu *tz);
    // The saved units and whether the computer's zone is chosen, into the menus.
    void loadUnitsAndZone();
    void showUnitChecks();
    void showZoneChecks();
    // The date box's and the status line's tooltips name the zone of the time shown.
    void showZoneNames();
    void buildPanel();
    // Moves the check mark of a submenu from one indexed item to another.
    void moveCheck(const QString &array, int from, int to);
    void setStatusVisible(bool visible);
    bool confirm(const QString &text, const QString &title);
    // Old data greys every box and veils the plot; a message without a fix greys the
    // position, height, heading and speed alone.
    void setStale(bool stale, bool noFix);
    // Empties the fix boxes, the satellite table and the plot: a new receiver.
    void clearReceiver();
    // The height the status line adds below the designed client area.
    int statusLineHeight() const;
    // A receiver command that found the port closed is not passed over in silence.
    void tellIfNotSent(bool sent);
    ValueText *box(StatusBox which) const { return m_boxes[std::size_t(which)]; }

    GPS_Main &m_g;
    const QualityWatch &m_quality;
    std::unique_ptr<SerialPort> m_port;
    PortKeeper *m_keeper = nullptr;
    RecordReplay *m_recordReplay = nullptr;
    DataWindows *m_dataWindows = nullptr;
    QWidget *m_portDialog = nullptr;
    QWidget *m_client = nullptr;
    QPlainTextEdit *m_errorDis = nullptr;
    QTimer m_logRefresh;
    PictureBox *m_picture = nullptr;
    // The status panel, by StatusBox, and the captions Label1(1..6).
    std::array<ValueText *, kStatusBoxes> m_boxes{};
    std::array<QLabel *, 6> m_captions{};
    // Every control by its name, for the layout, which places them by name.
    QHash<QString, QWidget *> m_controls;
    TextLine *m_linkStatus = nullptr;
    QTimer m_linkTick;
    // The offsets the tooltip was made from: their count and newest time.
    std::pair<qsizetype, qint64> m_offsetsShown{-1, 0};
    QString m_offsetTip; // the clock offset's line of the status line's tooltip
    bool m_stale = false;
    bool m_noFix = false;
    QString m_portDescription;
    QFont m_panelFont;
    TextFitter m_dateFit;
    // The size last asked of the window system and not yet reached; asking again
    // for it would only loop when the system will not give it.
    QSize m_pendingSize;
    bool m_inResize = false;
    // The size the last normal-state layout gave the window, to return to from maximised.
    QSize m_normalSize;
    // The window frame's size at the last layout; the window system may add its
    // decorations only after the window first shows.
    QSize m_frameExtra;
    bool m_unloaded = false;
    // Whether the window lost activation to another window of this program, so that
    // coming back to it counts as an activation; returning from another program does not.
    bool m_leftForOwnWindow = true;
    FrameDispatcher::Subscription m_satFill;
    FrameDispatcher::Subscription m_navStatus;
    FrameDispatcher::Subscription m_goodFrames;
};
