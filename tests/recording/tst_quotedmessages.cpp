#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/portmessage.h"
#include "platform/networkport.h"
#include "platform/ptylink.h"
#include "platform/qtserialport.h"
#include "platform/quotedtext.h"
#include "quality/reference.h"
#include "recording/export.h"
#include "recording/recordingreader.h"
#include "recording/replayport.h"
#include "setup/setupcommands.h"
#include "share/nmeaserver.h"
#include "sim/simulator.h"
#include "testplatform.h"

#include <QBuffer>
#include <QtTest>
#include <functional>

namespace {

using Producer = std::function<QString(const QString &text)>;

// Every message that quotes text from outside: a recording, a setting, a peer, the
// user's typing, a file name. Each makes its message about `text`.
struct Row {
    const char *legend;
    Producer message;
};

QString recordingLine(const QString &text)
{
    QByteArray file = "KESTREL RECORDING 1\n" + text.toUtf8() + " CACA\n";
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    RecordingReader reader(in);
    if (!reader.readHeader())
        return reader.error();
    while (reader.next() != RecordingReader::Item::End) {
    }
    return reader.damaged().text().join(QLatin1Char('\n'));
}

QString setupRefusal(const QString &text)
{
    return setTimePayload({text, QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0"),
                           QStringLiteral("0"), QStringLiteral("0")})
        .refusal;
}

template <typename Parse> QString errorOf(Parse parse)
{
    QString error;
    parse(error);
    return error;
}

QString openError(SerialPort &port, const QString &device, const QString &settings)
{
    port.setDevice(device);
    port.setSettings(settings);
    port.open();
    return port.errorString();
}

const Row kRows[] = {
    {"recording line", recordingLine},
    {"typed setup field", setupRefusal},
    {"typed position minutes",
     [](const QString &t) { return setPositionPayload("33", t, "118", "0").refusal; }},
    {"typed height", [](const QString &t) { return setHeightPayload(t, "0").refusal; }},
    {"reference latitude",
     [](const QString &t) { return errorOf([&](QString &e) { parseCoordinate(t, true, e); }); }},
    {"reference height",
     [](const QString &t) {
         return errorOf([&](QString &e) {
             bool given = false;
             parseHeight(t, e, given);
         });
     }},
    {"--reference",
     [](const QString &t) { return errorOf([&](QString &e) { parseReferenceOption(t, e); }); }},
    {"--static",
     [](const QString &t) { return errorOf([&](QString &e) { parseStaticPosition(t, e); }); }},
    {"--tcp address",
     [](const QString &t) {
         return errorOf([&](QString &e) { parseLoopbackAddress(t + ":1", e); });
     }},
    {"network address",
     [](const QString &t) { return errorOf([&](QString &e) { NetworkAddress::parse(t, e); }); }},
    {"network port number",
     [](const QString &t) {
         return errorOf([&](QString &e) { NetworkAddress::parse("tcp://host:" + t, e); });
     }},
    {"network line settings",
     [](const QString &t) {
         NetworkPort port;
         return openError(port, "rfc2217://127.0.0.1:1", t);
     }},
    {"serial line settings",
     [](const QString &t) {
         QtSerialPort port;
         return openError(port, "/dev/null", t);
     }},
    {"port not available",
     [](const QString &t) { return portNotAvailableText(t, t, "No such file", {}); }},
    {"port advice", [](const QString &t) { return portOpenAdvice(t, "No such file", {}); }},
    {"status line port",
     [](const QString &t) {
         TestPlatform tp;
         GPS_Main g(tp.platform);
         QtSerialPort port;
         port.setDevice(t);
         return PortKeeper(g, port).description();
     }},
    {"--link path",
     [](const QString &t) {
         return errorOf(
             [&](QString &e) { replaceSymlink("/no-such-folder/" + t, "/dev/null", e); });
     }},
    {"reading progress", [](const QString &t) { return readingProgressText(t, 1, 2); }},
    {"replay too large", [](const QString &t) { return replayTooLargeText(t, 2'000'000'000); }},
    {"export input", [](const QString &t) {
         return exportRecordingFile("/no-such-folder/" + t, ExportFormat::Gpx, "-").error;
     }}};

// The longest run of one character in `text`.
qsizetype longestRun(const QString &text, QChar c)
{
    qsizetype run = 0, longest = 0;
    for (QChar t : text) {
        run = t == c ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

} // namespace

class TestQuotedMessages : public QObject {
    Q_OBJECT
private slots:
    void hostileTextIsQuotedShortAndEscaped_data();
    void hostileTextIsQuotedShortAndEscaped();
    void quotingKeepsTextReadable_data();
    void quotingKeepsTextReadable();
};

void TestQuotedMessages::hostileTextIsQuotedShortAndEscaped_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kRows)); ++i)
        QTest::newRow(kRows[i].legend) << i;
}

// 20,000 characters that would clear a terminal and set its title, with escapes at
// both ends: a message may show either end of what it quotes.
void TestQuotedMessages::hostileTextIsQuotedShortAndEscaped()
{
    QFETCH(int, row);
    const QString padding(19'990, QLatin1Char('x'));
    const QString hostile = QStringLiteral("\x1b]0;t\x07") + padding + QStringLiteral("\x1b[2J");
    QCOMPARE(hostile.size(), 20'000);
    const QString benign = QStringLiteral("yyy");
    const QString message = kRows[row].message(hostile);
    const QString plain = kRows[row].message(benign);
    QVERIFY2(!plain.isEmpty() && plain.contains(benign), qPrintable(plain));

    QVERIFY2(message.contains(QLatin1String("\\x1b")), qPrintable(message));
    for (QChar c : message)
        QVERIFY2(c.unicode() >= 0x20 || c == QLatin1Char('\n'), qPrintable(message));
    QVERIFY2(longestRun(message, QLatin1Char('x')) <= 60, qPrintable(message));
    // The quoted part: what the hostile text adds over a short one, in the same words.
    const qsizetype quoted = message.size() - plain.size() + benign.size();
    QVERIFY2(quoted <= 70,
             qPrintable(QStringLiteral("%1 characters: %2").arg(quoted).arg(message)));
}

void TestQuotedMessages::quotingKeepsTextReadable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::addColumn<QString>("path");
    const QString sixty(60, QLatin1Char('a'));
    QTest::newRow("plain") << "/dev/ttyUSB0"
                           << "/dev/ttyUSB0"
                           << "/dev/ttyUSB0";
    QTest::newRow("other scripts stay") << "Zürich 東京 😀"
                                        << "Zürich 東京 😀"
                                        << "Zürich 東京 😀";
    QTest::newRow("control characters") << "a\tb\nc\x7f"
                                        << "a\\x09b\\x0ac\\x7f"
                                        << "a\\x09b\\x0ac\\x7f";
    QTest::newRow("C1 control") << "a\u009bb"
                                << "a\\x9bb"
                                << "a\\x9bb";
    QTest::newRow("direction override") << "txt\u202egnp.exe"
                                        << "txt\\u202egnp.exe"
                                        << "txt\\u202egnp.exe";
    QTest::newRow("line separator") << "a\u2028b"
                                    << "a\\u2028b"
                                    << "a\\u2028b";
    QTest::newRow("sixty whole") << sixty << sixty << sixty;
    QTest::newRow("sixty-two cut") << sixty + "bc" << sixty + "..."
                                   << "..." + sixty.mid(2) + "bc";
    // An escape is never cut in two.
    QTest::newRow("escape at the cut") << QString(58, QLatin1Char('a')) + "\x1b" + "zz"
                                       << QString(58, QLatin1Char('a')) + "\\x1b..."
                                       << "..." + QString(54, QLatin1Char('a')) + "\\x1bzz";
    QTest::newRow("escape cut off a path")
        << "\x1b" + QString(58, QLatin1Char('z')) << "\\x1b" + QString(56, QLatin1Char('z')) + "..."
        << "..." + QString(58, QLatin1Char('z'));
    QTest::newRow("pair at the cut")
        << QString(59, QLatin1Char('a')) + "😀z" << QString(59, QLatin1Char('a')) + "😀..."
        << "..." + QString(57, QLatin1Char('a')) + "😀z";
}

void TestQuotedMessages::quotingKeepsTextReadable()
{
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QFETCH(QString, path);
    QCOMPARE(quotedText(text), quoted);
    QCOMPARE(quotedPath(text), path);
}

QTEST_GUILESS_MAIN(TestQuotedMessages)
#include "tst_quotedmessages.moc"
