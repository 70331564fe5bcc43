#pragma once

#include <QString>
#include <optional>

// The program's entry procedure: shared state, the port dialog, the main window.
int kestrelMain(int argc, char **argv);

// --speed of --replay: 0.25 to 16, or "max" (ReplayPacer::kAsFastAsPossible).
std::optional<double> replaySpeedOption(const QString &text);
// Whether the file reads as a recording; otherwise `error` says why, for the user.
bool checkRecordingFile(const QString &path, QString &error);
