#include "about/abouttexts.h"

#include <QStringList>

QString appTitle()
{
    return QStringLiteral("Kestrel");
}

QString versionText(const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint n = i < parts.size() ? parts[i].trimmed().toUInt(&ok) : 0;
        numbers << QString::number(ok ? n : 0);
    }
    return QStringLiteral("Version ") + numbers.join(QLatin1Char('.'));
}

QString aboutTitleText()
{
    return QStringLiteral("Kestrel Program");
}

QString authorLine()
{
    return QStringLiteral("Written by the Kestrel developers");
}

QString kitAddress()
{
    return QStringLiteral("https://kit.example.org/kestrel");
}

QString descriptionText()
{
    QString text = QStringLiteral("This program displays information from and sends commands "
                                  "to 'The Kestrel Receiver Kit'.");
    text += QStringLiteral("The Kit is available from: ");
    text += kitAddress();
    text += QStringLiteral("\r\n");
    text += QStringLiteral("Click picture for more program info.");
    return text;
}

QString disclaimerText()
{
    QString text = QStringLiteral("Warning: This program is only an example and there is no "
                                  "guarantee that any information it ");
    text += QStringLiteral("provides is accurate. This program is provided AS IS without any "
                           "warranty of any kind. ");
    text += QStringLiteral("The entire risk arising out of the use or preformance of this "
                           "software and documentation remains with you.");
    return text;
}

QString programNotesText()
{
    QString text = QStringLiteral("Kestrel was written by the Kestrel developers for owners of "
                                  "the Kestrel Receiver Kit.");
    text += QStringLiteral("\r\n");
    text += QStringLiteral(
        "The Kestrel Program in in testing stages and may not function as expected. ");
    text += QStringLiteral(
        "This program may also cause unexpected operation of any device it is connected to. ");
    text += QStringLiteral(
        "I have done extensive testing  and it functions as expected on my equipment. ");
    text += QStringLiteral("\r\n");
    text += QStringLiteral("Program notes and updates are posted on the program's web page: "
                           "https://kestrel.example.org/");
    text += QStringLiteral("\r\n");
    text += QStringLiteral("Current Source Code will be available for download.");
    text += QStringLiteral("\r\n");
    text += QStringLiteral("This program may be copied and given away freely. ");
    text += QStringLiteral("No fee may be charged for it beyond the cost of the copy. ");
    text += QStringLiteral("It may be passed on only whole and unchanged, with this notice. ");
    text += QStringLiteral("Its source code may be shared on the same terms. ");
    return text;
}

QString sysInfoUnavailableText()
{
    return QStringLiteral("System Information Is Unavailable At This Time");
}

QString programVersionLine(const QString &program)
{
    const QString running = QString::fromLatin1(qVersion());
    const QString built = QStringLiteral(QT_VERSION_STR);
    const QString qt = running == built
                           ? QStringLiteral("Qt %1").arg(running)
                           : QStringLiteral("Qt %1, built with Qt %2").arg(running, built);
    return QStringLiteral("%1 %2 (%3)").arg(program, QStringLiteral(KESTREL_VERSION), qt);
}
