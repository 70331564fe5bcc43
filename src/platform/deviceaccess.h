#pragma once

#include <QString>

// What the system says about a device node a user could not open: whether this
// process may read and write it, and who may.
struct DeviceAccess {
    bool exists = false;
    // Opening for reading and writing is refused to this process by the file's permissions.
    bool refused = false;
    QString owner;
    QString group;
    // The device's group may read and write it, so joining the group is the way in.
    bool groupMayUse = false;
    // The user is listed in that group, but this login session started before: the
    // membership counts only after logging in again.
    bool memberSinceLogin = false;
};

// Looks at the device's mode, owner and group, and at the user's groups.
DeviceAccess probeDeviceAccess(const QString &path);
