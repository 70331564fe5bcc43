#include "framebuilder.h"

#include "link/gpsmain.h"

QByteArray buildFrame(quint8 type, const QByteArray &payload)
{
    QByteArray f;
    f.append(char(type)).append(char(type)).append(payload);
    quint8 sum = 0;
    for (char c : f)
        sum = quint8(sum + quint8(c));
    f.append(char(quint8(256 - sum))).append('\r');
    return f;
}

int frameLength(quint8 type)
{
    switch (type) {
    case 0xC3:
    case 0xC4:
        return 11;
    case 0xC5:
    case 0xC6:
        return 46;
    case 0xCA:
        return 44;
    case 0xCB:
        return 50;
    case 0xB0:
    case 0xB1:
    case 0xB2:
    case 0xB6:
    case 0xB7:
    case 0xB8:
    case 0xB9:
        return 4;
    default:
        return 0;
    }
}

QByteArray buildFrameOfType(quint8 type, const QByteArray &payload)
{
    QByteArray p = payload;
    p.resize(qMax(0, frameLength(type) - 4), '\0');
    return buildFrame(type, p);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(quint8(v)));
    return out;
}

void place(QByteArray &payload, int position, std::initializer_list<int> values)
{
    int i = position - 3;
    for (int v : values) {
        if (i >= payload.size())
            payload.resize(i + 1, '\0');
        payload[i++] = char(quint8(v));
    }
}

QByteArray navFrame(std::initializer_list<std::pair<int, std::initializer_list<int>>> fields)
{
    QByteArray payload(40, '\0');
    for (const auto &[position, values] : fields)
        place(payload, position, values);
    return buildFrameOfType(0xCA, payload);
}
