#pragma once

#include <QString>

// The texts of the About window and its program-notes box, kept apart from the
// window so that they can be checked and reused (a command-line --version, say).

// The application title used in captions and message boxes.
QString appTitle();
// "Version " and the major, minor and revision numbers as plain integers:
// «2.06.0002» gives «Version 2.6.2».
QString versionText(const QString &version);
QString aboutTitleText();
QString authorLine();
// The kit seller's web address, shown after "The Kit is available from: ".
QString kitAddress();
QString descriptionText();
QString disclaimerText();
// The program-notes message shown on clicking the picture.
QString programNotesText();
QString sysInfoUnavailableText();
// What --version prints: the program, its version and the Qt it runs on, with the Qt
// it was built against when the two differ: «kestrelctl 2.6.2 (Qt 6.4.2)».
QString programVersionLine(const QString &program);
