#include "link/hextext.h"
#include "recording/recording.h"

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
    void damagedLinesAreSkippedAndNamed_data();
    void damagedLinesAreSkippedAndNamed();
    void manyDamagedLinesAreNamedUpToTenThenCounted_data();
    void manyDamagedLinesAreNamedUpToTenThenCounted();
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

void TestRecording::damagedLinesAreSkippedAndNamed_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QByteArray>("kept");
    const QByteArray magic = "KESTREL RECORDING 1\n";
    const QByteArray ack = "5 B7B7920D\n";
    const QByteArray ackBytes = QByteArray::fromHex("B7B7920D");
    // Without the format line nothing is trusted.
    QTest::newRow("no format line")
        << QByteArray("0 CACA\n") << "line 1: not a Kestrel recording" << QString() << QByteArray();
    QTest::newRow("other version")
        << QByteArray("KESTREL RECORDING 2\n0 CA\n") << "line 1: not a Kestrel recording"
        << QString() << QByteArray();
    // A damaged data line is passed over and the next line read.
    QTest::newRow("no time") << magic + "CACA\n" + ack << QString() << "line 2: a data line is"
                             << ackBytes;
    QTest::newRow("time not a number")
        << magic + "1s CACA\n" + ack << QString() << "line 2: the time \"1s\"" << ackBytes;
    QTest::newRow("negative time")
        << magic + "-5 CA\n" + ack << QString() << "line 2: the time \"-5\"" << ackBytes;
    QTest::newRow("time goes back")
        << magic + "# c\n10 CA\n9 CA\n12 0D\n"
        << QString() << "line 4: the time 9 ms is earlier" << QByteArray::fromHex("CA0D");
    QTest::newRow("bad bytes") << magic + "0 CAXX\n" + ack << QString()
                               << "line 2: the bytes are not" << ackBytes;
    QTest::newRow("no bytes") << magic + "0  \n1 CA\n"
                              << QString() << "line 2: a data line" << QByteArray::fromHex("CA");
    QTest::newRow("between two good lines")
        << magic + "0 CACA\n1 C\n" + ack << QString() << "line 3: the bytes are not"
        << QByteArray::fromHex("CACA") + ackBytes;
}

void TestRecording::damagedLinesAreSkippedAndNamed()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);
    QFETCH(QString, named);
    QFETCH(QByteArray, kept);
    const RecordingContents r = readRecording(data);
    QVERIFY2(r.error.startsWith(error) && r.ok() == error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.bytes(), kept);
    QVERIFY(!r.cutShort);
    if (named.isEmpty())
        return;
    QCOMPARE(r.damaged.count, 1);
    QCOMPARE(r.damaged.text().size(), 1);
    QVERIFY2(r.damaged.text().first().startsWith(named), qPrintable(r.damaged.text().first()));
}

void TestRecording::manyDamagedLinesAreNamedUpToTenThenCounted_data()
{
    QTest::addColumn<int>("damaged");
    QTest::addColumn<QString>("countText");
    QTest::addColumn<QString>("last");
    QTest::newRow("one") << 1 << "1 damaged line"
                         << "line 3: the bytes are not pairs of hexadecimal digits";
    QTest::newRow("ten, all named") << 10 << "10 damaged lines"
                                    << "line 21: the bytes are not pairs of hexadecimal digits";
    QTest::newRow("eleven") << 11 << "11 damaged lines"
                            << "... and 1 more damaged line";
    QTest::newRow("thirteen") << 13 << "13 damaged lines"
                              << "... and 3 more damaged lines";
}

void TestRecording::manyDamagedLinesAreNamedUpToTenThenCounted()
{
    QFETCH(int, damaged);
    QFETCH(QString, countText);
    QFETCH(QString, last);
    // Good and damaged lines taking turns: line 2 good, 3 damaged, 4 good, 5 damaged...
    QByteArray data = "KESTREL RECORDING 1\n";
    for (int i = 0; i < damaged; ++i)
        data += QByteArray::number(i) + " B7\n" + QByteArray::number(i) + " B7X\n";
    data += "99 0D\n";
    const RecordingContents r = readRecording(data);
    QVERIFY(r.ok());
    QCOMPARE(r.bytes(), QByteArray(damaged, '\xB7') + '\r');
    QCOMPARE(r.damaged.count, damaged);
    QCOMPARE(r.damaged.countText(), countText);
    const QStringList text = r.damaged.text();
    QCOMPARE(text.size(), qMin(damaged, 10) + (damaged > 10 ? 1 : 0));
    QCOMPARE(text.first(), QStringLiteral("line 3: the bytes are not pairs of hexadecimal digits"));
    QCOMPARE(text.last(), last);
}

void TestRecording::interruptedLastLineIsDroppedAndReported()
{
    const QByteArray whole = "KESTREL RECORDING 1\n0 CACA\n7 B7B7920D\n";
    // Cut inside a byte: the line cannot be read and is dropped.
    RecordingContents r = readRecording(whole + "9 B7B");
    QVERIFY(r.ok());
    QVERIFY(r.cutShort);
    QVERIFY(r.damaged.isEmpty());
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACAB7B7920D"));
    // Cut between bytes: the bytes that made it are true bytes and are kept.
    r = readRecording(whole + "9 B7B7");
    QVERIFY(r.ok());
    QVERIFY(!r.cutShort);
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACAB7B7920DB7B7"));
    // The same damage before the last line, or with its line end, is a damaged line.
    r = readRecording("KESTREL RECORDING 1\n9 B7B\n10 CA\n");
    QVERIFY(!r.cutShort);
    QCOMPARE(r.damaged.count, 1);
    QCOMPARE(r.bytes(), QByteArray::fromHex("CA"));
    r = readRecording(whole + "9 B7B\n");
    QVERIFY(!r.cutShort);
    QCOMPARE(r.damaged.text(),
             QStringList{"line 4: the bytes are not pairs of hexadecimal digits"});
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
        QVERIFY(r.damaged.named.size() <= qMin<qsizetype>(10, r.damaged.count));
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
