#include "navigate.h"

#include "decoders/datawindows.h"
#include "link/portkeeper.h"
#include "platform/serialport.h"
#include "platform/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPlainTextEdit>

Navigate::Navigate(GPS_Main &g, std::unique_ptr<SerialPort> port, QWidget *parent)
    : QMainWindow(parent), m_g(g), m_port(std::move(port))
{
    setObjectName(QStringLiteral("Navigate"));
    setWindowTitle(QStringLiteral("Navigate"));
    m_keeper = new PortKeeper(g, *m_port, this);
    m_dataWindows = new DataWindows(g, this);
    g.setSink(this);

    m_client = new QWidget(this);
    setCentralWidget(m_client);
    m_errorDis = new QPlainTextEdit(m_client);
    m_errorDis->setObjectName(QStringLiteral("ErrorDis"));
    m_errorDis->setReadOnly(true);
    m_errorDis->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_errorDis->setGeometry(twipsRect(3360, 300, 925, 1515, this));
    m_errorDis->setVisible(false);
    connect(&g, &GPS_Main::errorDisChanged, m_errorDis, &QPlainTextEdit::setPlainText);

    buildMenus();
}

Navigate::~Navigate()
{
    if (&m_g.sink() == static_cast<MessageSink *>(this))
        m_g.setSink(nullptr);
}

void Navigate::Form_Load()
{
    m_g.HeadingLineLength = 1.5f;
}

void Navigate::Form_Activate()
{
    m_g.SendRequest(0xCA);
    QCoreApplication::processEvents();
    m_g.SendRequest(0xB7);
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

void Navigate::ShowNavStatus() {}

void Navigate::ShowPosition()
{
    m_dataWindows->ShowPosition();
}

void Navigate::ShowCondition()
{
    m_dataWindows->ShowCondition();
}

void Navigate::ShowDiagnosis()
{
    m_dataWindows->ShowDiagnosis();
}

void Navigate::ShowMode()
{
    m_dataWindows->ShowMode();
}

void Navigate::ShowTimeStamp()
{
    m_dataWindows->ShowTimeStamp();
}

void Navigate::ShowRecSat()
{
    m_dataWindows->ShowRecSat();
}
