#include "platform/quotedtext.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

constexpr qsizetype kQuotedChars = 60;
const QString kCut = QStringLiteral("...");

QString escapedByte(quint8 c)
{
    return QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
}

// One character (a surrogate pair stays whole) as a message may show it.
QString shown(QStringView text, qsizetype &i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        const char32_t u = QChar::surrogateToUcs4(c, text[i + 1]);
        ++i;
        return QChar::category(u) == QChar::Other_Format
                   ? QStringLiteral("\\U%1").arg(uint(u), 8, 16, QLatin1Char('0'))
                   : text.mid(i - 1, 2).toString();
    }
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7F && u < 0xA0))
        return escapedByte(quint8(u));
    switch (c.category()) {
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    default:
        return QString(c);
    }
}

} // namespace

QString quotedFileText(QByteArrayView text)
{
    QString out;
    qsizetype i = 0;
    for (; i < text.size() && out.size() < kQuotedChars; ++i) {
        const auto c = quint8(text[i]);
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(char(c));
        else
            out += escapedByte(c);
    }
    if (i < text.size())
        out += kCut;
    return out;
}

QString quotedText(QStringView text)
{
    QString out;
    qsizetype i = 0;
    for (; i < text.size() && out.size() < kQuotedChars; ++i)
        out += shown(text, i);
    if (i < text.size())
        out += kCut;
    return out;
}

QString commandLineError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    return unknown.isEmpty()
               ? parser.errorText()
               : QStringLiteral("Unknown option '%1'.").arg(quotedText(unknown.first()));
}

QString quotedPath(QStringView path)
{
    // Escaped from the end backwards, so that the cut never splits an escape.
    QStringList tail;
    qsizetype size = 0;
    qsizetype i = 0;
    QStringList all;
    for (; i < path.size(); ++i)
        all.append(shown(path, i));
    for (qsizetype k = all.size() - 1; k >= 0; --k) {
        if (size + all[k].size() > kQuotedChars)
            return kCut + tail.join(QString());
        size += all[k].size();
        tail.prepend(all[k]);
    }
    return tail.join(QString());
}
