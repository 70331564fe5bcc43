#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts the kestrel-sim program and reads the pseudo-terminal path it prints first.
inline bool startSimProcess(QProcess &sim, const QString &program, const QStringList &args,
                            QString &path)
{
    sim.start(program, args);
    if (!sim.waitForStarted(5000))
        return false;
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    return path.startsWith(QStringLiteral("/dev/"));
}
