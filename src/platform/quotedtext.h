#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QCommandLineParser;

// Text from outside the program (a file, a peer on the network, the user, the command
// line) as a message quotes it: at most about 60 characters, enough to recognise it,
// with control characters escaped (\x1b), so that hostile text can neither flood a
// terminal or a message box nor drive a terminal.

// Bytes of a file or a peer: control characters and bytes that are not ASCII as \xNN.
QString quotedFileText(QByteArrayView text);
// Text already read as characters (typed, a setting, a host name, an argument): letters
// of every script stay; control characters become \xNN, invisible format characters
// (direction overrides, zero widths) and line separators \uNNNN.
QString quotedText(QStringView text);
// A file or device name: its end tells it apart, so a long one keeps its last
// characters behind "...".
QString quotedPath(QStringView path);
// Why `parser` refused a command line; an unknown option is quoted, where Qt's own text
// would repeat it whole.
QString commandLineError(const QCommandLineParser &parser);
