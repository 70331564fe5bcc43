#include "platform/deviceaccess.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace {
#ifdef Q_OS_UNIX
bool sessionHasGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int n = getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    const int got = getgroups(n, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[size_t(i)] == gid)
            return true;
    return false;
}

bool groupDatabaseLists(const group &g, const char *user)
{
    for (char **m = g.gr_mem; m && *m; ++m)
        if (std::strcmp(*m, user) == 0)
            return true;
    return false;
}
#endif
} // namespace

DeviceAccess probeDeviceAccess(const QString &path)
{
    DeviceAccess a;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (path.isEmpty() || ::stat(name.constData(), &st) != 0)
        return a;
    a.exists = true;
    a.refused = ::access(name.constData(), R_OK | W_OK) != 0 && errno == EACCES;
    a.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && st.st_gid != 0;
    if (const passwd *pw = ::getpwuid(st.st_uid))
        a.owner = QString::fromLocal8Bit(pw->pw_name);
    else
        a.owner = QString::number(st.st_uid);
    if (const group *gr = ::getgrgid(st.st_gid)) {
        a.group = QString::fromLocal8Bit(gr->gr_name);
        const passwd *me = ::getpwuid(::getuid());
        a.memberSinceLogin = me && !sessionHasGroup(st.st_gid) &&
                             (me->pw_gid == st.st_gid || groupDatabaseLists(*gr, me->pw_name));
    } else {
        a.group = QString::number(st.st_gid);
    }
#else
    Q_UNUSED(path);
#endif
    return a;
}
