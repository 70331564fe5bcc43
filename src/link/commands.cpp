#include "link/commands.h"

#include "link/gpsmain.h"
#include "link/messagetypes.h"

#include <algorithm>

bool sendWithPayload(GPS_Main &g, int command, QByteArrayView payload, const void *owner)
{
    const int n = int(std::min<qsizetype>(payload.size(), GPS_Main::kCmdSize - 1));
    for (int i = 0; i < n; ++i)
        g.CmdBuffer[std::size_t(i + 1)] = quint8(payload[i]);
    g.CmdBuffer[0] = quint8(n);
    return g.SendCommand(command, owner);
}

bool sendTimeStampRequest(GPS_Main &g, quint8 searchMode, const void *owner)
{
    const char mode = char(searchMode);
    return sendWithPayload(g, Msg::TimeStamps, QByteArrayView(&mode, 1), owner);
}

bool sendTimeStampReset(GPS_Main &g)
{
    return sendWithPayload(g, Msg::SetTime, QByteArrayView("\0", 1));
}

bool sendSystemReset(GPS_Main &g)
{
    return g.SendRequest(Msg::SystemReset);
}

bool sendColdStart(GPS_Main &g)
{
    return g.SendRequest(Msg::ColdStart);
}

bool sendSetupCommand(GPS_Main &g, int command, const QByteArray &payload)
{
    // The command goes only behind its prepare frame; without it the receiver would
    // not take it.
    if (!g.SendRequest(Msg::Prepare))
        return false;
    return sendWithPayload(g, command, payload);
}

bool sendSetTime(GPS_Main &g, const QByteArray &payload)
{
    return sendSetupCommand(g, Msg::SetTime, payload);
}

bool sendSetPosition(GPS_Main &g, const QByteArray &payload)
{
    return sendSetupCommand(g, Msg::SetPosition, payload);
}

bool sendSetHeight(GPS_Main &g, const QByteArray &payload)
{
    return sendSetupCommand(g, Msg::SetHeight, payload);
}
