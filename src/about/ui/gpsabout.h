#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class GPS_Main;
class QIcon;
class QLabel;
class QPushButton;

#ifdef Q_OS_WIN
struct HKEY__;
typedef struct HKEY__ *HKEY;
#endif

// The modal About window.
void showAbout(GPS_Main &g, QWidget *parent);

// The program's icon in all its sizes (window icons, the About picture).
QIcon kestrelIcon();

// Title, version, description and disclaimer; the picture opens the program notes
// and "System Info..." starts the system's information tool.
class GPSAbout : public QDialog {
    Q_OBJECT
public:
    explicit GPSAbout(GPS_Main &g, QWidget *parent = nullptr);

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void picIcon_Click();
    void StartSysInfo();
#ifdef Q_OS_WIN
    bool GetKeyValue(HKEY KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                     QString &KeyVal);
#endif

    // Where the information tool is looked for (the PATH when empty) and how it is
    // started; tests put their own here.
    void setSysInfoSearchPaths(const QStringList &paths)
    {
        m_searchPaths = paths;
    }
    void setLauncher(std::function<bool(const QString &)> launch)
    {
        m_launch = std::move(launch);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showUnavailable();

    GPS_Main &m_g;
    QLabel *m_picIcon = nullptr;
    QStringList m_searchPaths;
    std::function<bool(const QString &)> m_launch;
};
