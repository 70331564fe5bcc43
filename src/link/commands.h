#pragma once

#include <QByteArray>
#include <QByteArrayView>

class GPS_Main;

// The receiver's command sequences, as the menus, the windows and the command-line
// tools send them. Each returns false when the port was not open and the frame (or,
// for a setup command, its prepare frame) was not written.

// The payload into CmdBuffer, its count first, then the command through SendCommand.
// CmdBuffer has room for ten bytes; more are not sent.
bool sendWithPayload(GPS_Main &g, int command, QByteArrayView payload, const void *owner = nullptr);

// Asks for the time stamps; the one byte sets (0) or resets (1) the search mode.
bool sendTimeStampRequest(GPS_Main &g, quint8 searchMode, const void *owner = nullptr);
// Clears the receiver's time stamps: the set-time type with a single zero byte.
bool sendTimeStampReset(GPS_Main &g);
bool sendSystemReset(GPS_Main &g);
bool sendColdStart(GPS_Main &g);

// The prepare frame first, then the payload into CmdBuffer and the command through
// SendCommand; when the prepare frame is refused nothing else is sent.
bool sendSetupCommand(GPS_Main &g, int command, const QByteArray &payload);
bool sendSetTime(GPS_Main &g, const QByteArray &payload);
bool sendSetPosition(GPS_Main &g, const QByteArray &payload);
bool sendSetHeight(GPS_Main &g, const QByteArray &payload);
