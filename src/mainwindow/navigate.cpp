#include "mainwindow/navigate.h"

#include "decoders/navstatus.h"
#include "decoders/sattable.h"
#include "link/messagetypes.h"
#include "link/portkeeper.h"
#include "link/storedsettings.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigatelayout.h"
#include "mainwindow/skyplot.h"
#include "platform/serialport.h"
#include "platform/settingsstore.h"
#include "quality/qualitywatch.h"
#include "recording/ui/recordreplay.h"
#include "widgets/picturebox.h"
#include "widgets/textline.h"
#include "widgets/twips.h"
#include "widgets/valuetext.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QWindow>
#include <cmath>

Navigate::Navigate(GPS_Main &g, const QualityWatch &quality, std::unique_ptr<SerialPort> port,
                   QWidget *parent)
    : QMainWindow(parent), m_g(g), m_quality(quality), m_port(std::move(port))
{
    setObjectName(QStringLiteral("Navigate"));
    setWindowTitle(QStringLiteral("Navigate"));
    m_keeper = new PortKeeper(g, *m_port, this);
    m_recordReplay = new RecordReplay(g, *m_keeper, this);
    m_dataWindows = new DataWindows(g, quality, this);
    // The table first: the sky plot and the Receive Sat window show it.
    m_satFill = g.frames().subscribe(Msg::Satellites,
                                     [this](const Frame &f) { FillSatTable(m_g, f.bytes()); });
    m_navStatus =
        g.frames().subscribe(Msg::Navigation, [this](const Frame &f) { ShowNavStatus(f.bytes()); });

    m_client = new QWidget(this);
    setCentralWidget(m_client);
    m_errorDis = new QPlainTextEdit(m_client);
    m_errorDis->setObjectName(QStringLiteral("ErrorDis"));
    m_errorDis->setReadOnly(true);
    m_errorDis->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_errorDis->setVisible(false);
    // The box shows only the newest log: a visible box takes it once per turn of the
    // event loop however many frames arrived, a hidden one when it is shown.
    m_logRefresh.setSingleShot(true);
    m_logRefresh.setInterval(0);
    connect(&m_logRefresh, &QTimer::timeout, this,
            [this] { m_errorDis->setPlainText(m_g.ErrorDis()); });
    connect(&g, &GPS_Main::errorDisChanged, this, [this] {
        if (!m_errorDis->isHidden() && !m_logRefresh.isActive())
            m_logRefresh.start();
    });

    // Back from another program through one of our windows, the return to this one
    // counts as coming back from our own window.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        QWidget *now = QApplication::activeWindow();
        if (now && now != this && !qobject_cast<QMessageBox *>(now))
            m_leftForOwnWindow = true;
    });

    buildPanel();
    buildMenus();

    m_linkStatus = new TextLine(this);
    m_linkStatus->setObjectName(QStringLiteral("LinkStatus"));
    statusBar()->addWidget(m_linkStatus, 1);
    statusBar()->setSizeGripEnabled(false);
    // Ages change with nothing received, so the line is refreshed on a clock; often
    // enough to read as live, rarely enough to cost nothing.
    m_linkTick.setInterval(500);
    connect(&m_linkTick, &QTimer::timeout, this, &Navigate::updateLinkStatus);
    m_linkTick.start();
    // The first frame after a silence, or a fix won or lost, shows at once, not at the
    // next tick.
    m_goodFrames = g.frames().subscribeGood([this](const Frame &) {
        if (m_stale || m_dataWindows->silent() || m_noFix != m_g.link().noFix())
            updateLinkStatus();
    });
    connect(m_keeper, &PortKeeper::opened, this, [this](const QString &description) {
        if (!m_portDescription.isEmpty() && description != m_portDescription)
            clearReceiver();
        m_portDescription = description;
        updateLinkStatus();
    });

    // The design's client area; the first layout gives the window its proper shape.
    resize(twipsToPixels(6225, this), twipsToPixels(4875, this) + statusLineHeight());
}

void Navigate::buildPanel()
{
    // The panel's design sizes fit a compact 8-point face.
    QFont panelFont = font();
    panelFont.setPointSizeF(8);
    m_panelFont = panelFont;
    m_picture = new PictureBox(m_client);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_controls.insert(QStringLiteral("Picture1"), m_picture);
    m_controls.insert(QStringLiteral("ErrorDis"), m_errorDis);
    // The newest line is on top and the log is short: the narrow box needs no scroll bars.
    m_errorDis->setFont(panelFont);
    m_errorDis->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_errorDis->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_errorDis->raise();

    for (int i = 0; i < kStatusBoxes; ++i) {
        auto *box = new ValueText(m_client);
        box->setObjectName(QString::fromLatin1(kStatusBoxNames[std::size_t(i)]));
        box->setFrame(ValueText::Frame::Box);
        box->setFont(panelFont);
        m_boxes[std::size_t(i)] = box;
        m_controls.insert(box->objectName(), box);
    }
    const char *const captions[] = {"Lat", "Long", "Alt", "Head", "Speed", "Sats"};
    for (int i = 1; i <= 6; ++i) {
        auto *label = new QLabel(QString::fromLatin1(captions[i - 1]), m_client);
        label->setObjectName(QStringLiteral("Label1(%1)").arg(i));
        label->setFont(panelFont);
        m_captions[std::size_t(i - 1)] = label;
        m_controls.insert(label->objectName(), label);
    }
    // The boxes the captions stand before, in the captions' order.
    const StatusBox captioned[] = {StatusBox::CurLat,  StatusBox::CurLon,   StatusBox::CurHeight,
                                   StatusBox::CurHead, StatusBox::CurSpeed, StatusBox::Sats};
    // A caption's widget may reach under its box: with the boxes on top, a new value
    // repaints the box alone and not the caption with it.
    for (const StatusBox b : captioned)
        box(b)->raise();
    for (const ControlPlace &c : designPlaces()) {
        const QRect r = c.twips;
        m_controls.value(c.name)->setGeometry(
            twipsRect(r.left(), r.top(), r.width(), r.height(), this));
    }
    // Each caption shows in the room before its text box, which the layout keeps as it is.
    // and names it for a screen reader.
    for (std::size_t i = 0; i < m_captions.size(); ++i) {
        shrinkFontToFit(m_captions[i], box(captioned[i])->x() - m_captions[i]->x());
        m_captions[i]->setBuddy(box(captioned[i]));
    }
    // Tab reads the panel from the top down, as the eye does: the time, the fix, then the
    // satellites and their status; the boxes were made in the message's order.
    const StatusBox reading[] = {StatusBox::TimeDate,  StatusBox::CurLat,  StatusBox::CurLon,
                                 StatusBox::CurHeight, StatusBox::CurHead, StatusBox::CurSpeed,
                                 StatusBox::Sats,      StatusBox::Vality};
    for (std::size_t i = 1; i < std::size(reading); ++i)
        setTabOrder(box(reading[i - 1]), box(reading[i]));
}

QWidget *Navigate::control(const QString &name) const
{
    return m_controls.value(name);
}

Navigate::~Navigate() = default;

void Navigate::Form_Load()
{
    m_g.HeadingLineLength = 1.5f;
    box(StatusBox::CurHead)->setText(QStringLiteral("0"));
    DrawSkyPlot();

    const SettingsStore &store = *m_g.platform().settings;
    m_g.TimeZoneIndex = qint16(storedIndex(
        store.GetSetting(QStringLiteral("Time Zone"), QStringLiteral("Zone"), QStringLiteral("5")),
        5, 24));
    moveCheck(QStringLiteral("TZ"), -1, m_g.TimeZoneIndex);
    loadUnitsAndZone();
    m_g.SatLabelMode = qint16(storedIndex(
        store.GetSetting(QStringLiteral("Show"), QStringLiteral("Sats"), QStringLiteral("0")), 0,
        3));
    moveCheck(QStringLiteral("ShowSatPos"), -1, m_g.SatLabelMode);
    setStatusVisible(storedFlag(store.GetSetting(QStringLiteral("Show"), QStringLiteral("Status"),
                                                 QStringLiteral("False"))));

    m_picture->move(0, 0);
}

void Navigate::Form_Resize()
{
    // The window's own size changes come back here; the rules give the same result
    // on their own output, so a nested call has nothing to add.
    if (m_inResize)
        return;
    const QScopedValueRollback guard(m_inResize, true);

    const WindowShape shape = isMinimized()                     ? WindowShape::Minimized
                              : isMaximized() || isFullScreen() ? WindowShape::Maximized
                                                                : WindowShape::Normal;
    // The status line sits below the designed window; the rules see the window without it.
    const QSize statusLine(0, statusLineHeight());
    // What the window adds to the size the rules give: the decorations less the status line.
    const QSize frame = frameGeometry().size() - size() - statusLine;
    m_frameExtra = frameGeometry().size() - size();
    const QSize outer = frameGeometry().size() - statusLine;
    const int menuHeight = menuBar()->isNativeMenuBar() ? 0 : menuBar()->height();
    const NavigateLayout l = layoutNavigate(
        QSize(pixelsToTwips(outer.width(), this), pixelsToTwips(outer.height(), this)), shape,
        pixelsToTwips(height() - menuHeight - statusLine.height(), this));
    if (!l.apply)
        return;

    if (shape == WindowShape::Normal) {
        const QSize target(twipsToPixels(l.outer.width(), this) - frame.width(),
                           twipsToPixels(l.outer.height(), this) - frame.height());
        if (size() == target || size() == m_pendingSize)
            m_pendingSize = QSize();
        // A size asked for and not given is not asked for again until the user
        // moves on: a window system that refuses it would otherwise loop with us.
        if (size() != target && target != m_pendingSize) {
            m_pendingSize = target;
            resize(target);
        }
        m_normalSize = target;
    }

    const auto place = [this](const ControlPlace &c) {
        const QRect r = c.twips;
        control(c.name)->setGeometry(twipsRect(r.left(), r.top(), r.width(), r.height(), this));
    };
    place(l.controls.first());
    DrawSkyPlot();
    for (qsizetype i = 1; i < l.controls.size(); ++i)
        place(l.controls[i]);
}

int Navigate::statusLineHeight() const
{
    return statusBar()->isHidden() ? 0 : statusBar()->sizeHint().height();
}

void Navigate::updateLinkStatus()
{
    const LinkState &link = m_g.link();
    m_linkStatus->setText(link.text(m_quality.quality().ttff.text(m_g.dataClock().monotonicMs())));
    setStale(link.stale(), link.noFix());
    m_dataWindows->setSilent(link.silent());
    updateClockOffsetTip();
    showZoneNames();
}

void Navigate::updateClockOffsetTip()
{
    const ClockOffsets &offsets = m_quality.clockOffsets();
    const std::pair<qsizetype, qint64> now{
        qsizetype(offsets.samples().size()),
        offsets.samples().empty() ? 0 : offsets.samples().back().timeMs};
    if (now == m_offsetsShown)
        return;
    m_offsetsShown = now;
    m_offsetTip = offsetSummaryText(offsets.summary()) + QStringLiteral(" (the last ten minutes)");
}

void Navigate::setStale(bool stale, bool noFix)
{
    if (stale == m_stale && noFix == m_noFix)
        return;
    m_stale = stale;
    m_noFix = noFix;
    for (int i = 0; i < kStatusBoxes; ++i) {
        const auto which = StatusBox(i);
        // A value of the fix, meaningless without one.
        const bool measured = which >= StatusBox::CurLat && which <= StatusBox::CurSpeed;
        const bool grey = stale || (noFix && measured);
        QPalette p = box(which)->palette();
        p.setColor(QPalette::Text,
                   palette().color(grey ? QPalette::Disabled : QPalette::Active, QPalette::Text));
        box(which)->setPalette(p);
    }
    m_picture->setDimmed(stale);
}

void Navigate::clearReceiver()
{
    for (ValueText *b : m_boxes)
        b->clear();
    for (std::size_t row = 1; row < m_g.SatTable.size(); ++row)
        m_g.SatTable[row] = {};
    m_g.HeadingFraction = 0;
    setStale(false, false);
    m_dataWindows->clearReceiver();
    DrawSkyPlot();
}

void Navigate::DrawSkyPlot()
{
    ::DrawSkyPlot(m_g, *m_picture);
}

void Navigate::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

void Navigate::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    // Decorations added after the first layout change the outer size the rules speak of.
    if (frameGeometry().size() - size() != m_frameExtra)
        Form_Resize();
}

void Navigate::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    // Coming back from minimised lays the window out again.
    if (e->type() == QEvent::WindowStateChange) {
        // Leaving maximised, the window may still have its maximised size here; laid out
        // on that, it would keep it. It goes back to the size it had before.
        const Qt::WindowStates old = static_cast<QWindowStateChangeEvent *>(e)->oldState();
        if ((old & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
            windowState() == Qt::WindowNoState && m_normalSize.isValid()) {
            m_pendingSize = QSize();
            resize(m_normalSize);
        }
        Form_Resize();
    }
}

void Navigate::setStatusVisible(bool visible)
{
    if (visible)
        m_errorDis->setPlainText(m_g.ErrorDis());
    m_errorDis->setVisible(visible);
    menuItem(QStringLiteral("ShoStatWin"))->setChecked(visible);
}

void Navigate::moveCheck(const QString &array, int from, int to)
{
    if (QAction *old = menuItem(QStringLiteral("%1(%2)").arg(array).arg(from)))
        old->setChecked(false);
    if (QAction *now = menuItem(QStringLiteral("%1(%2)").arg(array).arg(to)))
        now->setChecked(true);
}

void Navigate::ShoStatWin_Click()
{
    setStatusVisible(m_errorDis->isHidden());
    m_g.platform().settings->SaveSetting(QStringLiteral("Show"), QStringLiteral("Status"),
                                         m_errorDis->isHidden() ? QStringLiteral("False")
                                                                : QStringLiteral("True"));
}

void Navigate::ShowSatPos_Click(int Index)
{
    if (Index < 0 || Index > 3)
        return;
    moveCheck(QStringLiteral("ShowSatPos"), m_g.SatLabelMode, Index);
    m_g.SatLabelMode = qint16(Index);
    m_g.platform().settings->SaveSetting(QStringLiteral("Show"), QStringLiteral("Sats"),
                                         QString::number(Index));
}

void Navigate::TZ_Click(int Index)
{
    if (Index < 0 || Index > 24)
        return;
    moveCheck(QStringLiteral("TZ"), m_g.TimeZoneIndex, Index);
    m_g.TimeZoneIndex = qint16(Index);
    m_g.platform().settings->SaveSetting(QStringLiteral("Time Zone"), QStringLiteral("Zone"),
                                         QString::number(m_g.TimeZoneIndex));
    if (m_g.ComputerTimeZone)
        m_g.platform().settings->SaveSetting(QStringLiteral("Time Zone"),
                                             QStringLiteral("Computer"), QStringLiteral("False"));
    m_g.ComputerTimeZone = false;
    showZoneChecks();
}

void Navigate::Form_Activate()
{
    m_g.SendRequest(Msg::Navigation);
    QCoreApplication::processEvents();
    m_g.SendRequest(Msg::B7);
}

void Navigate::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (m_keeper->PortOpen())
        m_keeper->close();
    m_dataWindows->CloseDataWindows();
    if (m_portDialog)
        m_portDialog->close();
}

bool Navigate::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        if (m_leftForOwnWindow && !m_unloaded)
            Form_Activate();
        break;
    case QEvent::WindowDeactivate: {
        // By now the newly active window is known: none when another program took over.
        // A message box is part of the handler that showed it, not a window to return from.
        QWidget *next = QApplication::activeWindow();
        m_leftForOwnWindow = next && next != this && !qobject_cast<QMessageBox *>(next);
        break;
    }
    default:
        break;
    }
    return QMainWindow::event(e);
}

void Navigate::closeEvent(QCloseEvent *e)
{
    Form_Unload();
    e->accept();
}

void Navigate::ShowNavStatus(QByteArrayView frame)
{
    const NavStatus status = decodeNavStatus(frame, m_g.shownTimeZone(), m_g.units());
    for (int i = 0; i < kStatusBoxes && i < status.fields.size(); ++i) {
        const auto which = StatusBox(i);
        // The heading is stored before its box is written; the plot is drawn with it
        // once the speed is shown, before the time.
        if (which == StatusBox::CurHead)
            m_g.HeadingFraction = status.headingFraction;
        if (which == StatusBox::TimeDate)
            DrawSkyPlot();
        // The same text again would only be laid out and painted again.
        ValueText *b = box(which);
        const QString &text = status.fields[i].text;
        if (b->text() != text) {
            b->setText(text);
            // The date's length follows the user's locale; it is fitted as the captions are.
            if (which == StatusBox::TimeDate)
                m_dateFit.fit(b, m_panelFont);
        }
    }
}
