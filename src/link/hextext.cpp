#include "link/hextext.h"

#include <QStringList>

namespace {

int hexDigit(QChar c)
{
    return hexDigitValue(c.unicode());
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char(',') || c == QLatin1Char(':') || c == QLatin1Char(';');
}

} // namespace

QString HexByte(int byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const int b = byte & 0xFF;
    const QChar text[2] = {QLatin1Char(digits[b >> 4]), QLatin1Char(digits[b & 15])};
    return QString(text, 2);
}

HexTextResult parseHexText(const QString &text)
{
    HexTextResult result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype l = 0; l < lines.size(); ++l) {
        const QString &line = lines[l];
        qsizetype i = 0;
        while (i < line.size()) {
            if (line[i] == QLatin1Char('#'))
                break;
            if (isSeparator(line[i])) {
                ++i;
                continue;
            }
            const qsizetype start = i;
            qsizetype end = i;
            while (end < line.size() && !isSeparator(line[end]) && line[end] != QLatin1Char('#'))
                ++end;
            QStringView token = QStringView(line).mid(start, end - start);
            if (token.size() > 2 && token[0] == QLatin1Char('0') &&
                (token[1] == QLatin1Char('x') || token[1] == QLatin1Char('X')))
                token = token.mid(2);
            QString problem;
            for (qsizetype k = 0; k < token.size() && problem.isEmpty(); ++k)
                if (hexDigit(token[k]) < 0)
                    problem = QStringLiteral("\"%1\" is not a hexadecimal digit")
                                  .arg(quotedFileText(QString(token[k]).toUtf8()));
            if (problem.isEmpty() && token.size() % 2 != 0)
                problem =
                    QStringLiteral("\"%1\" has an odd number of digits; write each byte as "
                                   "two digits (05, not 5)")
                        .arg(quotedFileText(QStringView(line).mid(start, end - start).toUtf8()));
            if (!problem.isEmpty()) {
                result.bytes.clear();
                result.error =
                    QStringLiteral("line %1, column %2: %3").arg(l + 1).arg(start + 1).arg(problem);
                return result;
            }
            for (qsizetype k = 0; k < token.size(); k += 2)
                result.bytes.append(char(hexDigit(token[k]) * 16 + hexDigit(token[k + 1])));
            i = end;
        }
    }
    return result;
}
