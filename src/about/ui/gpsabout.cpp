#include "about/ui/gpsabout.h"

#include "about/abouttexts.h"
#include "about/sysinfo.h"
#include "link/gpsmain.h"
#include "platform/messageboxes.h"
#include "widgets/twips.h"

#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

QLabel *label(QWidget *parent, const QString &name, const QString &caption, int left, int top,
              int width, int height)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setGeometry(twipsRect(left, top, width, height, parent));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(true);
    return l;
}

QFrame *line(QWidget *parent, int index, int top, QPalette::ColorRole colour)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QStringLiteral("Line1(%1)").arg(index));
    // An etched separator: a dark and a light line, one pixel each.
    f->setGeometry(twipsToPixels(120, parent), twipsToPixels(top, parent) + index,
                   twipsToPixels(6360, parent), 1);
    f->setAutoFillBackground(true);
    f->setBackgroundRole(colour);
    return f;
}

bool startDetached(const QString &path)
{
    return QProcess::startDetached(path, {});
}

} // namespace

QIcon kestrelIcon()
{
    Q_INIT_RESOURCE(kestrel);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/about/kestrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

GPSAbout::GPSAbout(GPS_Main &g, QWidget *parent) : QDialog(parent), m_g(g), m_launch(startDetached)
{
    setObjectName(QStringLiteral("GPSAbout"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(twipsToPixels(6600, this), twipsToPixels(4440, this));
    setWindowIcon(kestrelIcon());

    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setGeometry(twipsRect(240, 240, 720, 720, this));
    m_picIcon->setPixmap(kestrelIcon().pixmap(m_picIcon->size()));
    m_picIcon->setCursor(Qt::PointingHandCursor);
    m_picIcon->setToolTip(QStringLiteral("Program information"));
    m_picIcon->installEventFilter(this);

    QLabel *title = label(this, QStringLiteral("lblTitle"), QStringLiteral("Application Title"),
                          1140, 240, 5220, 480);
    QFont big = title->font();
    big.setPointSize(14);
    big.setBold(true);
    title->setFont(big);
    label(this, QStringLiteral("lblVersion"), QStringLiteral("Version"), 1140, 780, 5220, 225);
    label(this, QStringLiteral("lblDescription"), QStringLiteral("App Description"), 1140, 1080,
          5220, 1080);
    label(this, QStringLiteral("lblCopyRight"), QStringLiteral("Copy Right"), 1140, 2190, 5220,
          225);
    line(this, 0, 2520, QPalette::Mid);
    line(this, 1, 2520, QPalette::Light);
    label(this, QStringLiteral("lblDisclaimer"), QStringLiteral("Warning: ..."), 255, 2700, 4300,
          1620);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(4800, 2700, 1560, 345, this));
    ok->setDefault(true);
    auto *sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setGeometry(twipsRect(4800, 3180, 1560, 345, this));
    connect(ok, &QPushButton::clicked, this, &GPSAbout::cmdOK_Click);
    connect(sysInfo, &QPushButton::clicked, this, &GPSAbout::cmdSysInfo_Click);
    ok->setFocus();
}

void GPSAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + appTitle());
    findChild<QLabel *>(QStringLiteral("lblVersion"))
        ->setText(versionText(QStringLiteral(KESTREL_VERSION)));
    findChild<QLabel *>(QStringLiteral("lblTitle"))->setText(aboutTitleText());
    findChild<QLabel *>(QStringLiteral("lblCopyRight"))->setText(authorLine());
    findChild<QLabel *>(QStringLiteral("lblDescription"))->setText(descriptionText());
    findChild<QLabel *>(QStringLiteral("lblDisclaimer"))->setText(disclaimerText());
}

void GPSAbout::cmdOK_Click()
{
    accept();
}

void GPSAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void GPSAbout::picIcon_Click()
{
    if (m_g.platform().boxes) {
        m_g.platform().boxes->show(this, programNotesText(), QStringLiteral("Program Information"),
                                   MsgButtons::Ok, MsgIcon::None, MsgAnswer::Ok);
    }
}

bool GPSAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_picIcon && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        picIcon_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void GPSAbout::showUnavailable()
{
    if (m_g.platform().boxes) {
        m_g.platform().boxes->show(this, sysInfoUnavailableText(), appTitle(), MsgButtons::Ok,
                                   MsgIcon::None, MsgAnswer::Ok);
    }
}

#ifdef Q_OS_WIN

void GPSAbout::StartSysInfo()
{
    QString path;
    if (!GetKeyValue(HKEY_LOCAL_MACHINE,
                     QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
        QString folder;
        if (GetKeyValue(HKEY_LOCAL_MACHINE,
                        QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                        QStringLiteral("MSINFO"), folder) &&
            QFileInfo::exists(folder + QStringLiteral("\\MSINFO32.EXE"))) {
            path = folder + QStringLiteral("\\MSINFO32.EXE");
        }
    }
    if (path.isEmpty() || !m_launch(path))
        showUnavailable();
}

bool GPSAbout::GetKeyValue(HKEY KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                           QString &KeyVal)
{
    HKEY key = nullptr;
    // Reading is all that is needed; full access to HKEY_LOCAL_MACHINE is refused to
    // users without administrator rights.
    if (RegOpenKeyExA(KeyRoot, KeyName.toLocal8Bit().constData(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    QByteArray buffer(1024, '\0');
    DWORD type = 0;
    DWORD size = DWORD(buffer.size());
    const LONG rc = RegQueryValueExA(key, SubKeyRef.toLocal8Bit().constData(), nullptr, &type,
                                     reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (rc != ERROR_SUCCESS) {
        RegCloseKey(key);
        KeyVal.clear();
        return false;
    }
    decodeRegistryValue(quint32(type), buffer, quint32(size), KeyVal);
    RegCloseKey(key);
    return true;
}

#else

void GPSAbout::StartSysInfo()
{
    const QString path = findSysInfoProgram(m_searchPaths);
    if (path.isEmpty() || !m_launch(path))
        showUnavailable();
}

#endif

void showAbout(GPS_Main &g, QWidget *parent)
{
    GPSAbout w(g, parent);
    w.Form_Load();
    w.exec();
}
