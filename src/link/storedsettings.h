#pragma once

#include <QList>
#include <QString>

// Reading the values kept in the per-user settings store. They are text that anyone
// can edit by hand, so each reader accepts only what the program itself writes and
// falls back to the default for everything else.

// A port dialog choice: a whole number that is one of the group's options, or else
// the group's default.
int storedChoice(const QString &stored, const QList<int> &options, int def);

// A menu index: a whole number from 0 to last, or else the default item.
int storedIndex(const QString &stored, int def, int last);

// A flag: "True" or "False" as written, any case; a number is true when not zero;
// anything else is false.
bool storedFlag(const QString &stored);
