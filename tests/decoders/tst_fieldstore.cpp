#include "decoders/fieldstore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// A decoder hands its fields to the store in one order; a decoder that changes the
// order is a fault the store catches, and no text ever shows under another field's name.
class TestFieldStore : public QObject {
    Q_OBJECT
private slots:
    void fieldsOutOfOrderAreCaught_data();
    void fieldsOutOfOrderAreCaught();
};

namespace {

// A stand-in decoder: each field's text is its name and the message's number.
void decode(FieldStore &store, const QStringList &names, int message)
{
    store.begin();
    for (const QString &name : names)
        store.next(name, quint64(message), [&] { return name + QString::number(message); });
}

constexpr char kChild[] = "KESTREL_FIELDSTORE_CHILD";

} // namespace

void TestFieldStore::fieldsOutOfOrderAreCaught_data()
{
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<bool>("caught");
    QTest::newRow("the same order again") << QStringList{"A", "B", "C"} << false;
    QTest::newRow("two fields swapped") << QStringList{"A", "C", "B"} << true;
    QTest::newRow("a field left out") << QStringList{"A", "C"} << true;
    QTest::newRow("another field in its place") << QStringList{"A", "X", "C"} << true;
}

void TestFieldStore::fieldsOutOfOrderAreCaught()
{
    QFETCH(QStringList, second);
    QFETCH(bool, caught);
    const QStringList first{"A", "B", "C"};
    FieldStore store;
    decode(store, first, 1);

    if (qEnvironmentVariableIsSet(kChild)) {
        decode(store, second, 2);
        return;
    }
#ifdef QT_NO_DEBUG
    // A release build says so once and leaves the misplaced fields as they were.
    if (caught)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^FieldStore: field .* given where"));
    QTest::failOnWarning(QRegularExpression("FieldStore"));
    decode(store, second, 2);
    decode(store, second, 3);
    QCOMPARE(store.fields().size(), first.size());
    for (const Field &f : store.fields())
        QVERIFY2(f.text.startsWith(f.name), qPrintable(f.name + ": " + f.text));
    if (!caught)
        QCOMPARE(store.fields().last().text, "C3");
#else
    // A debug build stops at the first misplaced field: seen from a second process.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChild, "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("-nocrashhandler"),
                 QStringLiteral("fieldsOutOfOrderAreCaught:") + QTest::currentDataTag()});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    const bool stopped = child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0;
    QVERIFY2(stopped == caught, qPrintable(output));
    QCOMPARE(output.contains(QStringLiteral("given where")), caught);
#endif
}

QTEST_GUILESS_MAIN(TestFieldStore)
#include "tst_fieldstore.moc"
