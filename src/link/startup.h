#pragma once

#include <QString>
#include <optional>

// The program's entry procedure: shared state, the port dialog, the main window.
int KestrelMain(int argc, char **argv);

// --speed of --replay: 0.25 to 16, or "max" (ReplayPacer::kAsFastAsPossible).
std::optional<double> ReplaySpeedOption(const QString &text);
// Whether the file reads as a recording; otherwise `error` says why, for the user.
bool CheckRecordingFile(const QString &path, QString &error);
