#pragma once

#include <QString>
#include <memory>
#include <optional>

struct OpenedRecording;

// The program's entry procedure: shared state, the port dialog, the main window.
int kestrelMain(int argc, char **argv);

// --speed of --replay: 0.25 to 16, or "max" (ReplayPacer::kAsFastAsPossible).
std::optional<double> replaySpeedOption(const QString &text);
// The file opened and its format line read, to be played; nothing when it cannot be
// read or is not a recording, and `error` says why, for the user.
std::unique_ptr<OpenedRecording> openRecordingFile(const QString &path, QString &error);
