#include "testplatform.h"

#include <QSettings>

MsgAnswer ScriptedMessageBoxes::show(QWidget *, const QString &text, const QString &title,
                                     MsgButtons buttons, MsgIcon icon, MsgAnswer defaultButton)
{
    shown.append({text, title, buttons, icon, defaultButton});
    if (whileShown)
        whileShown();
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : defaultButton;
}

bool FakeSerialPort::open()
{
    ++opens;
    openedSettings.append(Settings());
    if (refuseOpen)
        return false;
    isOpenNow = true;
    return true;
}

bool FakeSerialPort::Output(const QByteArray &bytes, const void *owner)
{
    Q_UNUSED(owner);
    if (!isOpenNow)
        return false;
    written.append(bytes);
    return true;
}

TestPlatform::TestPlatform()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    settings = std::make_unique<SettingsStore>(QStringLiteral("Kestrel"));
    platform.settings = settings.get();
    platform.boxes = &boxes;
    platform.clock = &clock;
    platform.endProgram = [this](int code) { endCalls.append(code); };
}

TestPlatform::~TestPlatform() = default;
