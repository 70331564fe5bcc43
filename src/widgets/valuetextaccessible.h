#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

// A value control as a screen reader sees it: static text named by its caption (the
// QLabel whose buddy it is, or its accessible name), its text as its value, and a text
// interface with the selection. A QAccessible factory: null for any other object.
QAccessibleInterface *valueTextAccessible(const QString &className, QObject *object);
