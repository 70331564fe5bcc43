#include "link/portmessage.h"

#include "platform/quotedtext.h"

#include <QStringList>

QString portOpenAdvice(const QString &device, const QString &reason, const DeviceAccess &access)
{
    QStringList lines;
    const QString why = reason.trimmed();
    if (!why.isEmpty()) {
        const bool stop = why.endsWith(QLatin1Char('.'));
        lines << (device.isEmpty() ? why : quotedPath(device) + QStringLiteral(": ") + why) +
                     (stop ? QString() : QStringLiteral("."));
    }
    if (access.exists && access.refused) {
        if (access.groupMayUse && access.memberSinceLogin) {
            lines << QStringLiteral("You are in the group \"%1\" that may use it, but this login "
                                    "started before you joined: log out and log in again.")
                         .arg(access.group);
        } else if (access.groupMayUse) {
            lines << QStringLiteral("Members of the group \"%1\" may use it. Join the group with")
                         .arg(access.group)
                  << QStringLiteral("    sudo usermod -aG %1 $USER").arg(access.group)
                  << QStringLiteral("then log out and log in again: the membership counts from "
                                    "the next login.");
        } else {
            lines << QStringLiteral("Only its owner \"%1\" may open it. Ask the administrator "
                                    "to give a group access to it (a udev rule), or run the "
                                    "program as \"%1\".")
                         .arg(access.owner);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString portNotAvailableText(const QString &portName, const QString &device, const QString &reason,
                             const DeviceAccess &access)
{
    QString text = quotedPath(portName) +
                   QStringLiteral(": not available. Change the CommPort property to another port.");
    const QString advice = portOpenAdvice(device == portName ? QString() : device, reason, access);
    if (!advice.isEmpty())
        text += QLatin1Char('\n') + advice;
    return text;
}

QString notOpenText()
{
    return QStringLiteral("The serial port is not open: nothing was sent to the receiver.");
}
