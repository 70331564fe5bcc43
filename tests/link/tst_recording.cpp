#include "link/hextext.h"
#include "link/recording.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

class TestRecording : public QObject {
    Q_OBJECT
private slots:
    void hexTextIsRead_data();
    void hexTextIsRead();
    void badHexTextIsRefusedWithItsPlace_data();
    void badHexTextIsRefusedWithItsPlace();
    void writtenRecordingReadsBackChunkForChunk();
    void damagedRecordingsAreRefused_data();
    void damagedRecordingsAreRefused();
    void interruptedLastLineIsDroppedAndReported();
    void fileHoldsEveryChunkAsSoonAsItIsWritten();
    void randomInputIsReadOrRefusedNeverMisread();
};

void TestRecording::hexTextIsRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray ack = QByteArray::fromHex("B7B7920D");
    QTest::newRow("pairs apart") << "B7 B7 92 0D" << ack;
    QTest::newRow("run together, lower case") << "b7b7920d" << ack;
    QTest::newRow("0x and commas") << "0xB7, 0xB7, 0x92, 0x0D" << ack;
    QTest::newRow("lines, tabs and comments") << "# an ack\nB7\tB7 # two\r\n92:0D\n" << ack;
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("only a comment") << "# nothing" << QByteArray();
}

void TestRecording::hexTextIsRead()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const HexTextResult r = parseHexText(text);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.bytes, bytes);
}

void TestRecording::badHexTextIsRefusedWithItsPlace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("where");
    QTest::newRow("single digit") << "CA 5 0D"
                                  << "line 1, column 4";
    QTest::newRow("odd run") << "CAC"
                             << "line 1, column 1";
    QTest::newRow("letter beyond F") << "CA\nCG"
                                     << "line 2, column 1";
    QTest::newRow("bare 0x") << "0x"
                             << "line 1, column 1";
    QTest::newRow("binary") << QString::fromLatin1("\xCA\xCA") << "line 1, column 1";
}

void TestRecording::badHexTextIsRefusedWithItsPlace()
{
    QFETCH(QString, text);
    QFETCH(QString, where);
    const HexTextResult r = parseHexText(text);
    QVERIFY(!r.ok());
    QVERIFY(r.bytes.isEmpty());
    QVERIFY2(r.error.startsWith(where), qPrintable(r.error));
}

void TestRecording::writtenRecordingReadsBackChunkForChunk()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    RecordingWriter w(buffer);
    QByteArray burst(150, '\0');
    for (int i = 0; i < burst.size(); ++i)
        burst[i] = char(i * 7);
    QVERIFY(w.writeHeader({QStringLiteral("made by a test"), QStringLiteral("two\nlines")}));
    QVERIFY(w.writeChunk(0, QByteArray::fromHex("CACA")));
    QVERIFY(w.writeComment(QStringLiteral("12 ms: ERR: Break")));
    QVERIFY(w.writeChunk(12, burst));
    QVERIFY(w.writeChunk(5, QByteArray::fromHex("0D"))); // a clock step back is held level
    // What the program sent is kept apart; a "sent" comment that is no such line stays one.
    QVERIFY(w.writeSent(13, QByteArray::fromHex("C3C33D0D")));
    QVERIFY(w.writeComment(QStringLiteral("sent 14 not hex")));

    const RecordingContents r = readRecording(buffer.data());
    QVERIFY2(r.ok(), qPrintable(r.error));
    QVERIFY(!r.cutShort);
    QCOMPARE(r.comments, (QStringList{"made by a test", "two", "lines", "12 ms: ERR: Break",
                                      "sent 14 not hex"}));
    QCOMPARE(r.sent, (QList<RecordedChunk>{{13, QByteArray::fromHex("C3C33D0D")}}));
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACA") + burst + QByteArray::fromHex("0D"));
    // A long burst is split into lines that keep its time.
    QCOMPARE(r.chunks.size(), 1 + 3 + 1);
    QCOMPARE(r.chunks[3].timeMs, 12);
    QCOMPARE(r.chunks.last().timeMs, 12);
    QVERIFY(looksLikeRecording(buffer.data()));
}

void TestRecording::damagedRecordingsAreRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");
    const QByteArray magic = "KESTREL RECORDING 1\n";
    QTest::newRow("no format line") << QByteArray("0 CACA\n") << "line 1: not a Kestrel recording";
    QTest::newRow("other version")
        << QByteArray("KESTREL RECORDING 2\n0 CA\n") << "line 1: not a Kestrel recording";
    QTest::newRow("no time") << magic + "CACA\n"
                             << "line 2: a data line is";
    QTest::newRow("time not a number") << magic + "1s CACA\n"
                                       << "line 2: the time \"1s\"";
    QTest::newRow("negative time") << magic + "-5 CA\n"
                                   << "line 2: the time \"-5\"";
    QTest::newRow("time goes back") << magic + "# c\n10 CA\n9 CA\n"
                                    << "line 4: the time 9 ms is earlier";
    QTest::newRow("bad bytes") << magic + "0 CAXX\n"
                               << "line 2: the bytes are not";
    QTest::newRow("no bytes") << magic + "0  \n1 CA\n"
                              << "line 2: a data line";
}

void TestRecording::damagedRecordingsAreRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);
    const RecordingContents r = readRecording(data);
    QVERIFY(!r.ok());
    QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
}

void TestRecording::interruptedLastLineIsDroppedAndReported()
{
    const QByteArray whole = "KESTREL RECORDING 1\n0 CACA\n7 B7B7920D\n";
    // Cut inside a byte: the line cannot be read and is dropped.
    RecordingContents r = readRecording(whole + "9 B7B");
    QVERIFY(r.ok());
    QVERIFY(r.cutShort);
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACAB7B7920D"));
    // Cut between bytes: the bytes that made it are true bytes and are kept.
    r = readRecording(whole + "9 B7B7");
    QVERIFY(r.ok());
    QVERIFY(!r.cutShort);
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACAB7B7920DB7B7"));
    // The same damage before the last line is an error.
    QVERIFY(!readRecording("KESTREL RECORDING 1\n9 B7B\n10 CA\n").ok());
}

void TestRecording::fileHoldsEveryChunkAsSoonAsItIsWritten()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("r.krec")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    RecordingWriter w(file);
    QVERIFY(w.writeHeader({}));
    QVERIFY(w.writeChunk(3, QByteArray::fromHex("B7B7920D")));
    // Read by another handle while the writer still holds the file open, as after a kill.
    QFile other(file.fileName());
    QVERIFY(other.open(QIODevice::ReadOnly));
    const RecordingContents r = readRecording(other.readAll());
    QVERIFY(r.ok());
    QCOMPARE(r.bytes(), QByteArray::fromHex("B7B7920D"));
}

void TestRecording::randomInputIsReadOrRefusedNeverMisread()
{
    // Seeded noise after a valid start: every result is a refusal that names its line,
    // or chunks that keep the format's rules.
    QRandomGenerator rng(20261207);
    for (int round = 0; round < 2000; ++round) {
        QByteArray noise(int(rng.bounded(200)), '\0');
        for (char &c : noise)
            c = char(rng.bounded(256));
        const RecordingContents r = readRecording("KESTREL RECORDING 1\n" + noise);
        if (r.ok()) {
            qint64 last = 0;
            for (const RecordedChunk &c : r.chunks) {
                QVERIFY(!c.bytes.isEmpty());
                QVERIFY(c.timeMs >= last);
                last = c.timeMs;
            }
        } else {
            QVERIFY(r.error.startsWith(QLatin1String("line ")));
        }
        const HexTextResult h = parseHexText(QString::fromLatin1(noise));
        if (h.ok()) {
            QVERIFY(2 * h.bytes.size() <= noise.size());
        } else {
            QVERIFY(h.bytes.isEmpty());
            QVERIFY(h.error.startsWith(QLatin1String("line ")));
        }
    }
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
