#include "link/messagetypes.h"

const MessageType *findMessageType(quint8 type)
{
    for (const MessageType &m : kMessageTypes)
        if (m.type == type)
            return &m;
    return nullptr;
}

QString acknowledgedCommand(const QByteArray &frame)
{
    const MessageType *m = frame.isEmpty() ? nullptr : findMessageType(quint8(frame.at(0)));
    if (!m)
        return {};
    const char *command = nullptr;
    for (const SentForm &s : m->sent) {
        if (!s.command)
            continue;
        command = s.command;
        if (s.length == frame.size())
            break;
    }
    return command ? QString::fromLatin1(command) : QString();
}
