#pragma once

// Shared checks of the decoder suites: fields compared by name, frames dumped
// independently of the formatter under test.

#include "decoders/fields.h"

#include <QLocale>
#include <QMetaType>
#include <QtTest>

using FieldPairs = QList<QPair<QString, QString>>;
Q_DECLARE_METATYPE(FieldPairs)

// The number and date texts of the tests are those of a United States locale.
inline void pinTestLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

// "XX " per byte, as the raw dump of a window shows the frame.
inline QString dumpOf(const QByteArray &frame)
{
    QString out;
    for (char c : frame)
        out += QString::asprintf("%02X ", unsigned(quint8(c)));
    return out;
}

// Every expected field is present once with exactly its text.
inline void verifyFields(const Fields &actual, const FieldPairs &expected)
{
    for (const auto &[name, text] : expected) {
        int found = 0;
        for (const Field &f : actual) {
            if (f.name != name)
                continue;
            ++found;
            QVERIFY2(f.text == text,
                     qPrintable(QStringLiteral("%1: «%2», expected «%3»").arg(name, f.text, text)));
        }
        QVERIFY2(found == 1,
                 qPrintable(QStringLiteral("%1 appears %2 times").arg(name).arg(found)));
    }
}

// The fields are exactly these, in this order.
inline void verifyAllFields(const Fields &actual, const FieldPairs &expected)
{
    QStringList actualNames, expectedNames;
    for (const Field &f : actual)
        actualNames << f.name;
    for (const auto &e : expected)
        expectedNames << e.first;
    QCOMPARE(actualNames, expectedNames);
    verifyFields(actual, expected);
}
