// Hostile text typed into every field of every window that sends what the user
// types: each text is either sent with the meaning the field gives it or refused
// with a message naming the field, and then nothing at all reaches the port.
#include "decoders/ui/autorefresh.h"
#include "decoders/ui/conditionwindow.h"
#include "decoders/ui/timestampwindow.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/datawindows.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/qualitywatch.h"
#include "setup/ui/setupwindows.h"
#include "testplatform.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <optional>

namespace {

constexpr int kRefused = -1;

// One hostile text, with what it must mean in a time field (a BCD byte, or refused)
// and in a decimal field, which takes only text that is wholly a number
// (nothing: refused).
struct Hostile {
    const char *legend;
    QString text;
    int timeByte;
    std::optional<double> decimal;
};

const QList<Hostile> &hostileTexts()
{
    static const QList<Hostile> rows = {
        {"empty", "", kRefused, std::nullopt},
        {"blanks", "   ", kRefused, std::nullopt},
        {"leading blank", " 12", 0x12, 12},
        {"leading tab", "\t7", 0x07, 7},
        {"plus sign", "+5", 0x05, 5},
        {"minus sign", "-5", kRefused, -5},
        {"letters", "zz", kRefused, std::nullopt},
        {"hex letters", "abc", kRefused, std::nullopt},
        {"digits then letters", "12xyz", kRefused, std::nullopt},
        {"fraction", "5.9", kRefused, 5.9},
        {"decimal comma", "5,9", kRefused, std::nullopt},
        {"exponent", "1e3", kRefused, 1000},
        {"exponent beyond a double", "1e400", kRefused, std::nullopt},
        {"eleven digits", "99999999999", kRefused, 99999999999.0},
        {"control characters", "\x01\x07\x1b", kRefused, std::nullopt},
        {"number then control character", "3\x08", kRefused, std::nullopt},
        {"other digits", QString::fromUtf8("\u0663\uFF11"), kRefused, std::nullopt},
        {"very long", QString(5000, QLatin1Char('9')), kRefused, std::nullopt},
    };
    return rows;
}

// A message shows control characters escaped, never as they are.
bool hasControlCharacter(const QString &message)
{
    return std::any_of(message.begin(), message.end(), [](QChar c) {
        return (c.unicode() < 0x20 && c != QLatin1Char('\n')) || c.unicode() == 0x7F;
    });
}

// Whole degrees as the window takes them, with "00" minutes: the DDDMM value, or nothing.
std::optional<double> wholeDegrees(const Hostile &h)
{
    static const QRegularExpression kWhole(QStringLiteral("^[+-]?[0-9]+$"));
    if (!h.decimal || !kWhole.match(h.text.trimmed()).hasMatch())
        return std::nullopt;
    return *h.decimal * 100;
}

// Minutes as the window takes them, with "0" degrees: below 60, and the sign belongs
// to the degrees.
std::optional<double> minutesOnly(const Hostile &h)
{
    if (!h.decimal || *h.decimal >= 60 || h.text.trimmed().startsWith(QLatin1Char('-')))
        return std::nullopt;
    return h.decimal;
}

// A latitude the receiver can be given: up to 90°, minutes below 60.
std::optional<double> latitude(std::optional<double> v)
{
    if (!v || std::abs(*v) > 9000 || std::fmod(std::abs(*v), 100.0) >= 60)
        return std::nullopt;
    return v;
}

QByteArray bigEndian(qint64 value, int bytes)
{
    QByteArray out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char(quint8(quint64(value) >> shift)));
    return out;
}

// A decimal value scaled into a signed field of `bytes` bytes, or nothing when it
// does not fit.
std::optional<QByteArray> scaled(std::optional<double> value, double scale, int bytes)
{
    if (!value)
        return std::nullopt;
    const double r = std::nearbyint(*value * scale);
    const double max = std::ldexp(1.0, 8 * bytes - 1);
    if (!std::isfinite(r) || r < -max || r > max - 1)
        return std::nullopt;
    return bigEndian(qint64(r), bytes);
}

QByteArray prepared(quint8 command, const QByteArray &payload)
{
    return buildFrame(0xB8, {}) + buildFrame(command, payload);
}

struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    FakeSerialPort port;
    Rig()
    {
        g.setPort(&port);
        port.open();
    }
};

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void setupFieldsSendMeaningOrRefuse_data();
    void setupFieldsSendMeaningOrRefuse();
    void refreshBoxesTakeIntervalOrRefuse_data();
    void refreshBoxesTakeIntervalOrRefuse();
    void deviceBoxOpensOnlyASerialDevice_data();
    void deviceBoxOpensOnlyASerialDevice();
};

void TestBadInput::setupFieldsSendMeaningOrRefuse_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fieldWord"); // how the refusal names the field
    // A refused coordinate puts the cursor on the field at fault.
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire"); // empty: refused

    const QStringList timeFields = {"UTC(1)", "UTC(2)", "UTC(3)", "UTC(4)", "UTC(5)", "UTC(6)"};
    const QStringList timeWords = {"Year", "Month", "Day", "Hour", "Minute", "Second"};
    // The other fields keep a valid time: 26-12-07 12:34:56.
    const QByteArray baseTime = QByteArray::fromHex("261207123456");
    const QStringList positionFields = {"LatitudeD", "LatitudeM", "LongitudeD", "LongitudeM"};
    const QStringList heightFields = {"CurHeight", "Accuracy"};

    for (const Hostile &h : hostileTexts()) {
        for (int i = 0; i < 6; ++i) {
            QByteArray payload = baseTime;
            payload[i] = char(h.timeByte);
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(timeFields[i], h.legend)))
                << "SetTime" << timeFields[i] << timeWords[i] << timeFields[i] << h.text
                << (h.timeByte == kRefused ? QByteArray() : prepared(0xB2, payload));
        }
        // The hostile text in one field of a coordinate whose other field holds "00"
        // (minutes) or "0" (degrees); the other coordinate is 0°00.
        for (int i = 0; i < 4; ++i) {
            const bool degrees = i % 2 == 0;
            const auto coordinate =
                scaled(latitude(degrees ? wholeDegrees(h) : minutesOnly(h)), 9216, 4);
            const QByteArray zero = bigEndian(0, 4);
            const QByteArray payload =
                coordinate ? (i < 2 ? *coordinate + zero : zero + *coordinate) : QByteArray();
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(positionFields[i], h.legend)))
                << "SetPosition" << positionFields[i] << (i < 2 ? "Latitude" : "Longitude")
                << positionFields[i] << h.text
                << (coordinate ? prepared(0xB0, payload + '\x01') : QByteArray());
        }
        for (int i = 0; i < 2; ++i) {
            const auto value = scaled(h.decimal, 2, 2);
            const QByteArray zero = bigEndian(0, 2);
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(heightFields[i], h.legend)))
                << "SetHeight" << heightFields[i] << (i == 0 ? "Height" : "Accuracy")
                << heightFields[i] << h.text
                << (value ? prepared(0xB1, i == 0 ? *value + zero : zero + *value) : QByteArray());
        }
    }
}

void TestBadInput::setupFieldsSendMeaningOrRefuse()
{
    QFETCH(QString, window);
    QFETCH(QString, field);
    QFETCH(QString, fieldWord);
    QFETCH(QString, focus);
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    Rig r;
    std::unique_ptr<QDialog> w;
    QString set;
    if (window == QLatin1String("SetTime")) {
        w = std::make_unique<SetTime>(r.g);
        set = QStringLiteral("SetTime(0)");
        const QStringList base = {"26", "12", "7", "12", "34", "56"};
        for (int i = 1; i <= 6; ++i)
            static_cast<SetTime *>(w.get())->UTC(i)->setText(base[i - 1]);
    } else if (window == QLatin1String("SetPosition")) {
        auto *p = new SetPosition(r.g);
        w.reset(p);
        set = QStringLiteral("SetPosition");
        p->LatitudeD->setText(QStringLiteral("0"));
        p->LatitudeM->setText(QStringLiteral("00"));
        p->LongitudeD->setText(QStringLiteral("0"));
        p->LongitudeM->setText(QStringLiteral("00"));
    } else {
        w = std::make_unique<SetHeight>(r.g);
        set = QStringLiteral("SetH");
        static_cast<SetHeight *>(w.get())->CurHeight->setText(QStringLiteral("0"));
        static_cast<SetHeight *>(w.get())->Accuracy->setText(QStringLiteral("0"));
    }
    w->show();
    auto *edit = w->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setText(text);
    w->findChild<QPushButton *>(set)->click();

    QCOMPARE(r.port.written.toHex(' '), wire.toHex(' '));
    if (wire.isEmpty()) {
        QCOMPARE(r.tp.boxes.shown.size(), 1);
        const QString message = r.tp.boxes.shown[0].text;
        QVERIFY2(message.contains(fieldWord), qPrintable(message));
        QVERIFY2(message.size() < 200, qPrintable(message));
        QVERIFY2(!hasControlCharacter(message), qPrintable(message));
        QVERIFY(w->isVisible());
        QCOMPARE(w->focusWidget(), w->findChild<QLineEdit *>(focus));
    } else {
        QVERIFY(r.tp.boxes.shown.isEmpty());
        QCOMPARE(w->result(), int(QDialog::Accepted));
    }
}

void TestBadInput::refreshBoxesTakeIntervalOrRefuse_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms"); // 0: stopped without a message; -1: refused
    const struct {
        const char *legend;
        QString text;
        int ms;
    } rows[] = {
        {"control characters", "\x01\x02", -1},
        {"number then control character", "2\x07", 2000},
        {"other digits", QString::fromUtf8("\u0663"), -1},
        {"very long digits", QString(5000, QLatin1Char('9')), -1},
        {"very long blanks then a number", QString(5000, QLatin1Char(' ')) + "4", 4000},
        {"tiny", "0.0004", 0},
        {"negative zero", "-0", 0},
        {"hexadecimal", "&h10", 16000},
        {"hexadecimal negative", "&hFFFF", -1},
    };
    for (const auto &[name, which] : {std::pair{"Condition", DataWindow::Condition},
                                      std::pair{"TimeStamp", DataWindow::TimeStamp}}) {
        for (const auto &row : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(name, row.legend)))
                << int(which) << row.text << row.ms;
    }
}

void TestBadInput::refreshBoxesTakeIntervalOrRefuse()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    QFETCH(int, ms);
    Rig r;
    QualityWatch quality(r.g);
    DataWindows windows(r.g, quality, nullptr);
    windows.show(DataWindow(which));
    QWidget *w = windows.window(DataWindow(which));
    r.port.written.clear();
    w->findChild<QLineEdit *>("AutoRefresh")->setText(text);
    w->findChild<QPushButton *>("Auto")->click();
    QTimer &timer = which == int(DataWindow::Condition)
                        ? static_cast<ConditionWindow *>(w)->autoRefresh().Timer1()
                        : static_cast<TimeStampWindow *>(w)->autoRefresh().Timer1();
    QCOMPARE(timer.isActive(), ms > 0);
    if (ms > 0)
        QCOMPARE(timer.interval(), ms);
    QCOMPARE(r.tp.boxes.shown.size(), ms < 0 ? 1 : 0);
    if (ms < 0) {
        QVERIFY(r.tp.boxes.shown[0].text.size() < 200);
        QVERIFY2(!hasControlCharacter(r.tp.boxes.shown[0].text),
                 qPrintable(r.tp.boxes.shown[0].text));
    }
    QCOMPARE(r.port.written, QByteArray());
}

void TestBadInput::deviceBoxOpensOnlyASerialDevice_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: the port opens
    const QString notAvailable =
        QStringLiteral(": not available. Change the CommPort property to another port.");
    QTest::newRow("empty") << ""
                           << "Type or choose a device for the port.";
    QTest::newRow("blanks") << "  \t "
                            << "Type or choose a device for the port.";
    QTest::newRow("missing device") << "/dev/kestrel-none"
                                    << "/dev/kestrel-none" + notAvailable;
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "/dev/null" + notAvailable;
    QTest::newRow("a folder") << "/tmp"
                              << "/tmp" + notAvailable;
    QTest::newRow("a plain file") << "/etc/hostname"
                                  << "/etc/hostname" + notAvailable;
    QTest::newRow("control characters") << "\x01\x1b[2J"
                                        << "\\x01\\x1b[2J" + notAvailable;
    QTest::newRow("very long, escape at the end")
        << "/dev/" + QString(300, QLatin1Char('x')) + "\x1b"
        << "..." + QString(56, QLatin1Char('x')) + "\\x1b" + notAvailable;
    QTest::newRow("pseudo-terminal with blanks around") << " PTY "
                                                        << "";
}

void TestBadInput::deviceBoxOpensOnlyASerialDevice()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Pty pty;
    QVERIFY(pty.ok());
    typed.replace(QStringLiteral("PTY"), pty.slavePath());
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QtSerialPort port;
    PortKeeper keeper(g, port);
    Port dialog(g, [&]() -> PortKeeper & { return keeper; });
    dialog.Form_Load(pty.slavePath());
    QVERIFY(keeper.PortOpen());
    tp.boxes.shown.clear();

    auto *box = dialog.findChild<QComboBox *>("DeviceName");
    box->setEditText(QString());
    QTest::keyClicks(box->lineEdit(), QStringLiteral("x"));
    box->setEditText(typed);
    QCOMPARE(dialog.comPort(), Port::kDeviceOption);
    const bool opened = dialog.OKButton_Click();

    QCOMPARE(opened, message.isEmpty());
    QCOMPARE(keeper.PortOpen(), message.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(tp.boxes.shown.isEmpty());
        QCOMPARE(dialog.device(), pty.slavePath());
    } else {
        QCOMPARE(tp.boxes.shown.size(), 1);
        // The system's reason, when there is one, follows on a line of its own.
        QCOMPARE(tp.boxes.shown[0].text.section(QLatin1Char('\n'), 0, 0), message);
    }
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
