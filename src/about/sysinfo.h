#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Registry value types the About window understands.
namespace RegType {
enum : quint32 { Sz = 1, Dword = 4 };
}

// Turns the bytes of a registry value into text. The data is cut to the length
// the query reported (never beyond the bytes at hand) and a final NUL is dropped.
// REG_SZ gives the text, REG_DWORD its number (least significant byte first) in
// decimal; any other type leaves keyVal as it was.
void decodeRegistryValue(quint32 type, const QByteArray &data, quint32 reportedLength,
                         QString &keyVal);

// System-information programs tried on systems without the Windows tool, in this
// order: hardinfo2, hardinfo (GTK system profilers), kinfocenter (KDE Info
// Center), lshw-gtk (hardware lister).
QStringList sysInfoPrograms();
// The full path of the first of them found in the given folders (the PATH when
// none are given), or an empty text.
QString findSysInfoProgram(const QStringList &searchPaths = {});
