#include "link/hextext.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <thread>

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
    void longFileIsReadInTheSameMemory_data();
    void longFileIsReadInTheSameMemory();
    void fifoIsReadOnceAndWaitingForItCanBeCancelled();
    void endlessInputIsRefusedOrStopped();
    void progressLineText_data();
    void progressLineText();
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
    // What is quoted cannot drive a terminal nor run on for megabytes.
    QTest::newRow("escape sequence") << "CA \x1b[2J"
                                     << "line 1, column 4: \"\\x1b\" is not a hexadecimal digit";
    QTest::newRow("a long odd run") << QString(20001, QLatin1Char('A'))
                                    << "line 1, column 1: \"" + QString(60, QLatin1Char('A')) +
                                           "...\" has an odd number of digits";
}

void TestRecording::badHexTextIsRefusedWithItsPlace()
{
    QFETCH(QString, text);
    QFETCH(QString, where);
    const HexTextResult r = parseHexText(text);
    QVERIFY(!r.ok());
    QVERIFY(r.bytes.isEmpty());
    QVERIFY2(r.error.startsWith(where) && r.error.size() < 200, qPrintable(r.error));
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
        << QByteArray("KESTREL RECORDING 2\n0 CA\n")
        << "line 1: not a Kestrel recording (it must begin with \"KESTREL RECORDING 1\"; "
           "\"KESTREL RECORDING 2\" is a format this version does not read)"
        << QString() << QByteArray();
    QTest::newRow("empty") << QByteArray()
                           << "line 1: not a Kestrel recording (it must begin with \"KESTREL "
                              "RECORDING 1\"; the file is empty)"
                           << QString() << QByteArray();
    QTest::newRow("byte order mark")
        << "\xEF\xBB\xBF" + magic + "0 CA\n"
        << "line 1: not a Kestrel recording (it must begin with \"KESTREL RECORDING 1\"; this "
           "one begins with a UTF-8 byte order mark)"
        << QString() << QByteArray();
    QTest::newRow("header only") << magic << QString() << QString() << QByteArray();
    QTest::newRow("comments only") << magic + "# port: COM1\n#\n\n# sent 3 C3\n"
                                   << QString() << QString() << QByteArray();
    QTest::newRow("CRLF line ends") << QByteArray("KESTREL RECORDING 1\r\n0 CACA\r\n5 0D\r\n")
                                    << QString() << QString() << QByteArray::fromHex("CACA0D");
    // A line of 65,537 bytes is one too many; the line after it is read.
    QTest::newRow("huge line") << magic + "0 " + QByteArray(65535, 'A') + "\n" + ack << QString()
                               << "line 2: the line is longer than 65536 bytes" << ackBytes;
    QTest::newRow("longest line") << magic + "0 " + QByteArray(65534, 'G') + "\n" + ack << QString()
                                  << "line 2: the bytes are not pairs" << ackBytes;
    // 100 years of 365.25 days: 3,155,760,000,000 ms is the last time read.
    QTest::newRow("2^63 ms") << magic + "9223372036854775808 CA\n" + ack << QString()
                             << "line 2: the time \"9223372036854775808\" is more than 100 years"
                             << ackBytes;
    QTest::newRow("2^63 - 1 ms") << magic + "9223372036854775807 CA\n" + ack << QString()
                                 << "line 2: the time \"9223372036854775807\" is more" << ackBytes;
    QTest::newRow("100 years and 1 ms") << magic + "3155760000001 CA\n" + ack << QString()
                                        << "line 2: the time \"3155760000001\"" << ackBytes;
    QTest::newRow("100 years") << magic + "3155760000000 CA\n"
                               << QString() << QString() << QByteArray::fromHex("CA");
    // Quoted file text is cut at 60 characters and cannot drive a terminal.
    QTest::newRow("control characters in a quoted time")
        << magic + "\x1b[2J" + QByteArray(100, 'x') + " CA\n" + ack << QString()
        << "line 2: the time \"\\x1b[2J" + QString(53, QLatin1Char('x')) +
               "...\" is not a whole number of milliseconds"
        << ackBytes;
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
    // A last line cut short past the longest line is the cut too, not damage.
    r = readRecording(whole + "9 " + QByteArray(70000, 'B'));
    QVERIFY(r.cutShort);
    QVERIFY(r.damaged.isEmpty());
    QCOMPARE(r.bytes(), QByteArray::fromHex("CACAB7B7920D"));
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

void TestRecording::longFileIsReadInTheSameMemory_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("lineBytes");
    QTest::newRow("100,000 lines of 20 bytes") << 100000 << 20;
    QTest::newRow("a line of 4 MB between two good ones") << 3 << 4 * 1024 * 1024;
}

void TestRecording::longFileIsReadInTheSameMemory()
{
    QFETCH(int, lines);
    QFETCH(int, lineBytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.krec"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("KESTREL RECORDING 1\n");
        const QByteArray hex = QByteArray(lineBytes, '\xB7').toHex().toUpper();
        for (int i = 0; i < lines; ++i)
            f.write(QByteArray::number(i) + ' ' + (i == 1 ? hex : QByteArray("CACA")) + '\n');
    }
    RecordingInput in;
    QVERIFY(in.open(path));
    RecordingReader reader(in);
    QVERIFY(reader.readHeader());
    qsizetype most = 0;
    int data = 0;
    qint64 sum = 0;
    while (reader.next() == RecordingReader::Item::Data) {
        ++data;
        sum += reader.bytes().size();
        most = qMax(most, reader.bufferCapacity());
    }
    QCOMPARE(reader.error(), QString());
    const bool longLine = lineBytes * 2 > RecordingReader::kMaxLineBytes;
    QCOMPARE(data, longLine ? lines - 1 : lines);
    QCOMPARE(sum, qint64(longLine ? 2 * (lines - 1) : 2 * (lines - 1) + lineBytes));
    QCOMPARE(reader.damaged().count, longLine ? 1 : 0);
    // A block read, the longest line and its bytes: about 160 KiB, whatever the file.
    QVERIFY2(most <= 256 * 1024, qPrintable(QString::number(most)));
    QCOMPARE(reader.bytesRead(), QFileInfo(path).size());
}

void TestRecording::fifoIsReadOnceAndWaitingForItCanBeCancelled()
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    // Opened before any writer: the open returns at once and reading waits for one.
    RecordingInput in;
    QVERIFY(in.open(QFile::decodeName(fifo)));
    QCOMPARE(in.size(), qint64(-1));
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QFile w(QFile::decodeName(fifo));
        if (w.open(QIODevice::WriteOnly))
            w.write("KESTREL RECORDING 1\n0 CACA\n");
    });
    RecordingReader reader(in);
    const bool header = reader.readHeader();
    const bool data = reader.next() == RecordingReader::Item::Data;
    const QByteArray bytes = reader.bytes();
    const bool end = reader.next() == RecordingReader::Item::End;
    writer.join();
    QVERIFY(header && data && end);
    QCOMPARE(bytes, QByteArray::fromHex("CACA"));

    // A FIFO nobody writes to: a cancel ends the wait.
    RecordingInput silent;
    QVERIFY(silent.open(QFile::decodeName(fifo)));
    QElapsedTimer waited;
    waited.start();
    silent.setCancel([&] { return waited.elapsed() > 300; });
    char c = 0;
    QCOMPARE(silent.read(&c, 1), qint64(-1));
    QCOMPARE(silent.errorString(), QStringLiteral("interrupted"));
}

void TestRecording::endlessInputIsRefusedOrStopped()
{
    // No line end in sight: the format line is judged on its first 64 KiB.
    RecordingInput zero;
    QVERIFY(zero.open(QStringLiteral("/dev/zero")));
    RecordingReader endless(zero);
    QVERIFY(!endless.readHeader());
    QVERIFY(endless.error().startsWith(QLatin1String("line 1: not a Kestrel recording")));
    QVERIFY(endless.bytesRead() <= 2 * RecordingReader::kMaxLineBytes);

    // After a good start, a limit ends a line that never ends.
    QByteArray data = "KESTREL RECORDING 1\n0 CA\n" + QByteArray(3'000'000, '\0');
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    RecordingReader limited(buffer);
    limited.setByteLimit(2'000'000);
    QVERIFY(limited.readHeader());
    QCOMPARE(limited.next(), RecordingReader::Item::Data);
    QCOMPARE(limited.next(), RecordingReader::Item::End);
    QCOMPARE(limited.error(), QStringLiteral("it is more than 2 MB"));
    QVERIFY(limited.bytesRead() <= 2'000'000 + 64 * 1024);
}

void TestRecording::progressLineText_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << qint64(0) << qint64(36000000) << "reading t.krec: 0 % of 36.0 MB";
    QTest::newRow("a third") << qint64(12000000) << qint64(36000000)
                             << "reading t.krec: 33 % of 36.0 MB";
    QTest::newRow("a pipe") << qint64(12550000) << qint64(-1) << "reading t.krec: 12.6 MB";
}

void TestRecording::progressLineText()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(QString, text);
    QCOMPARE(readingProgressText(QStringLiteral("t.krec"), done, total), text);
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
