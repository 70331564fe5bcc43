#include "about/sysinfo.h"

#include <QStandardPaths>

void decodeRegistryValue(quint32 type, const QByteArray &data, quint32 reportedLength,
                         QString &keyVal)
{
    QByteArray value =
        data.left(qsizetype(std::min<quint64>(reportedLength, quint64(data.size()))));
    if (value.endsWith('\0'))
        value.chop(1);
    switch (type) {
    case RegType::Sz:
        keyVal = QString::fromLocal8Bit(value);
        break;
    case RegType::Dword: {
        quint32 number = 0;
        for (qsizetype i = std::min<qsizetype>(value.size(), 4) - 1; i >= 0; --i)
            number = (number << 8) | quint8(value[i]);
        keyVal = QString::number(number);
        break;
    }
    default:
        break;
    }
}

QStringList sysInfoPrograms()
{
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("lshw-gtk")};
}

QString findSysInfoProgram(const QStringList &searchPaths)
{
    for (const QString &name : sysInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name, searchPaths);
        if (!path.isEmpty())
            return path;
    }
    return {};
}
