#pragma once

#include "platform/deviceaccess.h"

#include <QString>

// The message for a port that could not be opened. Its first line is always
// «COM3: not available. Change the CommPort property to another port.»; a second
// line gives the system's reason when there is one, and a refusal by the device's
// permissions says how to get in (join the device's group, then log in again).
// portName is how the program names the port (COM3 or a device path), device the
// node that was opened, reason the system's own words.
QString portNotAvailableText(const QString &portName, const QString &device, const QString &reason,
                             const DeviceAccess &access);

// The lines after the first: the reason and the way in, or nothing.
QString portOpenAdvice(const QString &device, const QString &reason, const DeviceAccess &access);

// What the user is told when a command finds the port closed.
QString notOpenText();
