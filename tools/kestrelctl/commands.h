#pragma once

#include <QStringList>

// Each subcommand takes its own arguments (args[0] is its name) and returns the exit status.
int runDecode(const QStringList &args);
int runMonitor(const QStringList &args);
int runSend(const QStringList &args);
int runRecord(const QStringList &args);
int runNmea(const QStringList &args);
int runExport(const QStringList &args);
