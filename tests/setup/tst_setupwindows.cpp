// The setup windows driven as a user drives them, with the program's serial port on
// a real pseudo-terminal and the test reading what reaches the receiver's side.
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "setup/ui/setupwindows.h"
#include "testplatform.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

struct Link {
    Pty pty;
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QtSerialPort port;
    PortKeeper keeper{g, port};

    Link()
    {
        port.setDevice(pty.slavePath());
        port.setSettings(QStringLiteral("9600,e,8,1"));
        keeper.open();
    }
    // Everything the receiver got; waits a little beyond what is expected so that
    // an extra frame would be seen too.
    QByteArray received(qsizetype expected) { return pty.read(int(expected) + 1, 250); }
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray prepared(quint8 command, const QByteArray &payload)
{
    return buildFrame(0xB8, {}) + buildFrame(command, payload);
}

QLineEdit *edit(QWidget &w, const QString &name)
{
    return w.findChild<QLineEdit *>(name);
}

QPushButton *pushButton(QWidget &w, const QString &name)
{
    return w.findChild<QPushButton *>(name);
}

std::unique_ptr<QDialog> makeWindow(const QString &kind, GPS_Main &g)
{
    if (kind == QLatin1String("time"))
        return std::make_unique<SetTime>(g);
    if (kind == QLatin1String("position"))
        return std::make_unique<SetPosition>(g);
    return std::make_unique<SetHeight>(g);
}

QStringList fieldNames(const QString &kind)
{
    if (kind == QLatin1String("time"))
        return {"UTC(1)", "UTC(2)", "UTC(3)", "UTC(4)", "UTC(5)", "UTC(6)"};
    if (kind == QLatin1String("position"))
        return {"LatitudeD", "LatitudeM", "LongitudeD", "LongitudeM"};
    return {"CurHeight", "Accuracy"};
}

QString setButton(const QString &kind)
{
    if (kind == QLatin1String("time"))
        return QStringLiteral("SetTime(0)");
    if (kind == QLatin1String("position"))
        return QStringLiteral("SetPosition");
    return QStringLiteral("SetH");
}

} // namespace

class TestSetupWindows : public QObject {
    Q_OBJECT
private slots:
    void setButtonSendsExactFramesOrNothing_data();
    void setButtonSendsExactFramesOrNothing();
    void cancelSendsNothing_data();
    void cancelSendsNothing();
    void setTimeFillsFromTheClock();
    void setPositionFillsFromNavigationFrame_data();
    void setPositionFillsFromNavigationFrame();
    void setHeightFillsFromNavigationFrame_data();
    void setHeightFillsFromNavigationFrame();
    void fillComesFromLastNavigationMessage_data();
    void fillComesFromLastNavigationMessage();
    void closedPortSendsNothingAndSays_data();
    void closedPortSendsNothingAndSays();
    void controlsStandWhereDesigned_data();
    void controlsStandWhereDesigned();
    void focusMovesInDesignedOrder_data();
    void focusMovesInDesignedOrder();
    void setPositionShowsItsTitleAndWidestFields_data();
    void setPositionShowsItsTitleAndWidestFields();
    void setHeightOpensWithFocusOnCancel();
    void menuEntryPointsShowModalWindows_data();
    void menuEntryPointsShowModalWindows();
};

void TestSetupWindows::setButtonSendsExactFramesOrNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("wire"); // empty: refused
    QTest::addColumn<QString>("refusedField");

    QTest::newRow("time as BCD") << "time" << QStringList{"99", "12", "31", "23", "59", "59"}
                                 << prepared(0xB2, hex("991231235959")) << "";
    QTest::newRow("time short, letters and empty")
        << "time" << QStringList{"5", "05", "1A", "", "x", "9"} << QByteArray() << "UTC(3)";
    QTest::newRow("time one digit each") << "time" << QStringList{"5", "3", "1", "0", "7", "9"}
                                         << prepared(0xB2, hex("050301000709")) << "";
    QTest::newRow("time empty year refused")
        << "time" << QStringList{"", "1", "1", "1", "1", "1"} << QByteArray() << "UTC(1)";
    QTest::newRow("time 31 April refused")
        << "time" << QStringList{"26", "4", "31", "0", "0", "0"} << QByteArray() << "UTC(3)";
    QTest::newRow("time month 100 refused")
        << "time" << QStringList{"26", "100", "1", "1", "1", "1"} << QByteArray() << "UTC(2)";
    QTest::newRow("time second FFFF refused")
        << "time" << QStringList{"26", "1", "1", "1", "1", "FFFF"} << QByteArray() << "UTC(6)";

    QTest::newRow("position 33 12.3456, 117 10.5")
        << "position" << QStringList{"33", "12.3456", "117", "10.5000"}
        << prepared(0xB0, hex("01d1cc71066eca0001")) << "";
    QTest::newRow("position southern and western")
        << "position" << QStringList{"-33", "12.3456", "-117", "10.5"}
        << prepared(0xB0, hex("fe2e338ff9913600") + hex("01")) << "";
    QTest::newRow("position empty latitude")
        << "position" << QStringList{"", "", "0", "00"} << QByteArray() << "LatitudeD";
    QTest::newRow("position empty longitude degrees")
        << "position" << QStringList{"0", "00", "", "22.5"} << QByteArray() << "LongitudeD";
    QTest::newRow("position one-digit minutes") << "position" << QStringList{"33", "5.5", "0", "00"}
                                                << prepared(0xB0, hex("01d0d6000000000001")) << "";
    QTest::newRow("position 99 degrees 99.99 minutes")
        << "position" << QStringList{"99", "99.99", "0", "00"} << QByteArray() << "LatitudeM";
    QTest::newRow("position latitude beyond 90")
        << "position" << QStringList{"9999", "00", "0", "0"} << QByteArray() << "LatitudeD";
    QTest::newRow("position longitude beyond 180")
        << "position" << QStringList{"0", "0", "-2330", "17"} << QByteArray() << "LongitudeD";
    QTest::newRow("position minutes then letters")
        << "position" << QStringList{"33", "12", "117", "10x"} << QByteArray() << "LongitudeM";
    QTest::newRow("height letters")
        << "height" << QStringList{"abc", "0"} << QByteArray() << "CurHeight";
    QTest::newRow("height number then letters")
        << "height" << QStringList{"100abc", "0"} << QByteArray() << "CurHeight";
    QTest::newRow("accuracy empty")
        << "height" << QStringList{"100", ""} << QByteArray() << "Accuracy";

    QTest::newRow("height with blanks around it")
        << "height" << QStringList{" 100 ", "\t0"} << prepared(0xB1, hex("00c80000")) << "";
    QTest::newRow("height 100 accuracy 0")
        << "height" << QStringList{"100", "0"} << prepared(0xB1, hex("00c80000")) << "";
    QTest::newRow("height -10 accuracy 1000")
        << "height" << QStringList{"-10", "1000"} << prepared(0xB1, hex("ffec07d0")) << "";
    QTest::newRow("height 100.25 to even")
        << "height" << QStringList{"100.25", "0"} << prepared(0xB1, hex("00c80000")) << "";
    QTest::newRow("height 100.75 to even")
        << "height" << QStringList{"100.75", "0"} << prepared(0xB1, hex("00ca0000")) << "";
    QTest::newRow("height 16384 would wrap")
        << "height" << QStringList{"16384", "0"} << QByteArray() << "CurHeight";
    QTest::newRow("accuracy below -16384")
        << "height" << QStringList{"0", "-16385"} << QByteArray() << "Accuracy";
}

void TestSetupWindows::setButtonSendsExactFramesOrNothing()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, wire);
    QFETCH(QString, refusedField);
    Link l;
    QVERIFY(l.port.PortOpen());
    auto w = makeWindow(kind, l.g);
    w->show();
    const QStringList names = fieldNames(kind);
    for (int i = 0; i < names.size(); ++i)
        edit(*w, names[i])->setText(fields[i]);

    pushButton(*w, setButton(kind))->click();

    QCOMPARE(l.received(wire.size()).toHex(' '), wire.toHex(' '));
    if (wire.isEmpty()) {
        QCOMPARE(l.tp.boxes.shown.size(), 1);
        QCOMPARE(l.tp.boxes.shown[0].title, w->windowTitle());
        QCOMPARE(l.tp.boxes.shown[0].buttons, MsgButtons::Ok);
        QVERIFY(w->isVisible()); // open for correction
        QCOMPARE(w->focusWidget(), edit(*w, refusedField));
    } else {
        QVERIFY(l.tp.boxes.shown.isEmpty());
        QVERIFY(!w->isVisible());
        QCOMPARE(w->result(), int(QDialog::Accepted));
    }
}

void TestSetupWindows::cancelSendsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("Set Time") << "time";
    QTest::newRow("Set Position") << "position";
    QTest::newRow("Set Height") << "height";
}

void TestSetupWindows::cancelSendsNothing()
{
    QFETCH(QString, kind);
    Link l;
    l.g.receive(buildFrameOfType(0xCA, bytes({0, 1, 0xD1, 0xCC, 0x71, 0, 0, 0, 0, 7, 0xD0})));
    auto w = makeWindow(kind, l.g);
    if (auto *t = qobject_cast<SetTime *>(w.get()))
        t->Form_Load();
    else if (auto *p = qobject_cast<SetPosition *>(w.get()))
        p->Form_Load();
    else
        qobject_cast<SetHeight *>(w.get())->Form_Load();
    w->show();
    pushButton(*w, QStringLiteral("Exit"))->click();
    QCOMPARE(l.received(0), QByteArray());
    QVERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Rejected));
}

void TestSetupWindows::setTimeFillsFromTheClock()
{
    Link l;
    l.tp.clock.time = QDateTime(QDate(2000, 3, 3), QTime(9, 5, 7));
    SetTime w(l.g);
    w.Form_Load();
    QStringList shown;
    for (int i = 1; i <= 6; ++i)
        shown << w.UTC(i)->text();
    QCOMPARE(shown, (QStringList{"00", "3", "3", "9", "5", "7"}));
    pushButton(w, QStringLiteral("SetTime(0)"))->click();
    const QByteArray wire = prepared(0xB2, hex("000303090507"));
    QCOMPARE(l.received(wire.size()).toHex(' '), wire.toHex(' '));
}

void TestSetupWindows::setPositionFillsFromNavigationFrame_data()
{
    QTest::addColumn<QByteArray>("frame"); // empty: RxBuffer all zero
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("sentUnchanged");

    QByteArray nav;
    place(nav, 4, {0x01, 0xD1, 0xCC, 0x71, 0x06, 0x6E, 0xCA, 0x00});
    QTest::newRow("01 D1 CC 71 shows cut minutes")
        << buildFrameOfType(0xCA, nav) << QStringList{" 33", "12.3455", " 117", "10.5"}
        << hex("01d1cc70066eca0001");
    QByteArray south;
    place(south, 4, {0xFE, 0x2E, 0x33, 0x8F, 0x00, 0x00, 0x00, 0x00});
    QTest::newRow("southern latitude")
        << buildFrameOfType(0xCA, south) << QStringList{"-33", "12.3455", " 0", "00"}
        << hex("fe2e33900000000001");
    QTest::newRow("all-zero buffer")
        << QByteArray() << QStringList{" 0", "00", " 0", "00"} << hex("000000000000000001");
    QByteArray nearZero;
    place(nearZero, 4, {0xFF, 0xFB, 0xC8, 0x00, 0x00, 0x03, 0x2A, 0x00});
    QTest::newRow("within a degree of zero")
        << buildFrameOfType(0xCA, nearZero) << QStringList{"-0", "30", " 0", "22.5"}
        << hex("fffbc80000032a0001");
    QByteArray nearMinute;
    place(nearMinute, 4, {0x00, 0x00, 0x12, 0x00, 0xFF, 0xFE, 0xF3, 0x17});
    QTest::newRow("within a minute and -0.124495 degrees")
        << buildFrameOfType(0xCA, nearMinute) << QStringList{" 0", "00.5", "-0", "07.4697"}
        << hex("00001200fffef31701");
}

void TestSetupWindows::setPositionFillsFromNavigationFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, sentUnchanged);
    Link l;
    // Whatever View, Units shows, the receiver's degrees and minutes are filled and sent.
    l.g.setUnits({PositionFormat::DegMinSec, HeightUnit::Feet, SpeedUnit::Knots});
    l.g.OnReceive(frame);
    SetPosition w(l.g);
    w.Form_Load();
    QCOMPARE((QStringList{w.LatitudeD->text(), w.LatitudeM->text(), w.LongitudeD->text(),
                          w.LongitudeM->text()}),
             fields);
    w.SetPosition_Click();
    const QByteArray wire = prepared(0xB0, sentUnchanged);
    QCOMPARE(l.received(wire.size()).toHex(' '), wire.toHex(' '));
}

void TestSetupWindows::setHeightFillsFromNavigationFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QByteArray>("sentUnchanged");
    QByteArray h;
    place(h, 12, {0x07, 0xD0});
    QTest::newRow("07 D0") << buildFrameOfType(0xCA, h) << "1000" << hex("07d00000");
    QByteArray half;
    place(half, 12, {0x00, 0xC9});
    QTest::newRow("00 C9 keeps its half")
        << buildFrameOfType(0xCA, half) << "100.5" << hex("00c90000");
    QByteArray neg;
    place(neg, 12, {0xFF, 0xEC});
    QTest::newRow("FF EC") << buildFrameOfType(0xCA, neg) << "-10" << hex("ffec0000");
    QTest::newRow("all-zero buffer") << QByteArray() << "0" << hex("00000000");
}

void TestSetupWindows::setHeightFillsFromNavigationFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, height);
    QFETCH(QByteArray, sentUnchanged);
    // A comma locale must not change what is shown or what is read back.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Link l;
    // Metres, as the receiver takes them, with the main window in feet.
    l.g.setUnits({PositionFormat::Degrees, HeightUnit::Feet, SpeedUnit::Mph});
    l.g.OnReceive(frame);
    SetHeight w(l.g);
    w.Form_Load();
    const QString shown = w.CurHeight->text();
    const QString accuracy = w.Accuracy->text();
    w.SetH_Click();
    QLocale::setDefault(saved);
    QCOMPARE(shown, height);
    QCOMPARE(accuracy, QStringLiteral("0"));
    const QByteArray wire = prepared(0xB1, sentUnchanged);
    QCOMPARE(l.received(wire.size()).toHex(' '), wire.toHex(' '));
}

void TestSetupWindows::fillComesFromLastNavigationMessage_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("fields"); // LatitudeD, LatitudeM, LongitudeD, LongitudeM, height

    QByteArray nav;
    place(nav, 4, {0x01, 0xD1, 0xCC, 0x71, 0x06, 0x6E, 0xCA, 0x00, 0x03, 0x48});
    const QByteArray navigation = buildFrameOfType(0xCA, nav);
    const QStringList fromNavigation = {" 33", "12.3455", " 117", "10.5", "420"};
    const QStringList fromZero = {" 0", "00", " 0", "00", "0"};
    // Every other message carries bytes that would read as a position and a height.
    const QByteArray noise(48, '\x5A');

    QTest::newRow("before any message") << QByteArray() << fromZero;
    QTest::newRow("navigation last") << navigation << fromNavigation;
    for (const quint8 type : {0xC3, 0xC4, 0xC5, 0xC6, 0xCB, 0xB7}) {
        QTest::addRow("navigation then %02X", type)
            << navigation + buildFrameOfType(type, noise) << fromNavigation;
        QTest::addRow("only %02X", type) << buildFrameOfType(type, noise) << fromZero;
    }
    QByteArray corrupt = buildFrameOfType(0xCA, noise);
    corrupt[corrupt.size() - 2] = char(corrupt[corrupt.size() - 2] + 1);
    QTest::newRow("navigation then a bad navigation frame")
        << navigation + corrupt << fromNavigation;
}

void TestSetupWindows::fillComesFromLastNavigationMessage()
{
    QFETCH(QByteArray, received);
    QFETCH(QStringList, fields);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.OnReceive(received);
    SetPosition p(g);
    p.Form_Load();
    SetHeight h(g);
    h.Form_Load();
    QCOMPARE((QStringList{p.LatitudeD->text(), p.LatitudeM->text(), p.LongitudeD->text(),
                          p.LongitudeM->text(), h.CurHeight->text()}),
             fields);
}

void TestSetupWindows::closedPortSendsNothingAndSays_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("Set Time") << "time";
    QTest::newRow("Set Position") << "position";
    QTest::newRow("Set Height") << "height";
}

void TestSetupWindows::closedPortSendsNothingAndSays()
{
    QFETCH(QString, kind);
    Link l;
    l.keeper.close();
    auto w = makeWindow(kind, l.g);
    w->show();
    const QStringList names = fieldNames(kind);
    const QStringList valid = kind == QLatin1String("position")
                                  ? QStringList{"33", "12", "117", "10"}
                                  : QStringList{"26", "1", "2", "3", "4", "5"};
    for (int i = 0; i < names.size(); ++i)
        edit(*w, names[i])->setText(valid[i]);
    pushButton(*w, setButton(kind))->click();

    QCOMPARE(l.received(0), QByteArray());
    QVERIFY(l.g.ErrorDis().startsWith(QStringLiteral("ERR: NotOpen")));
    QCOMPARE(l.tp.boxes.shown.size(), 1);
    QVERIFY(l.tp.boxes.shown[0].text.contains(QStringLiteral("not open")));
    QVERIFY(w->isVisible());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(edit(*w, names[i])->text(), valid[i]);
}

void TestSetupWindows::controlsStandWhereDesigned_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QList<int>>("twips"); // left, top, width, height

    const QString warning = QStringLiteral("This Command Doesn't seem to do anything,");
    const QStringList timeCaptions = {"Year", "Mon", "Day", "Hour", "Min", "Sec"};
    QTest::newRow("time Label2") << "time"
                                 << "Label2" << warning << QList<int>{60, 60, 3195, 255};
    for (int i = 0; i < 6; ++i) {
        QTest::addRow("time Label1(%d)", i)
            << "time" << QStringLiteral("Label1(%1)").arg(i) << timeCaptions[i]
            << QList<int>{240 + 480 * i, 360, 375, 195};
        QTest::addRow("time UTC(%d)", i + 1)
            << "time" << QStringLiteral("UTC(%1)").arg(i + 1) << QString()
            << QList<int>{180 + 480 * i, 600, 435, 285};
    }
    QTest::newRow("time set") << "time"
                              << "SetTime(0)"
                              << "Set Time" << QList<int>{480, 960, 795, 255};
    QTest::newRow("time cancel") << "time"
                                 << "Exit"
                                 << "Cancel" << QList<int>{1920, 960, 795, 255};

    QTest::newRow("position Label2") << "position"
                                     << "Label2" << warning << QList<int>{60, 60, 1995, 435};
    QTest::newRow("position Label1") << "position"
                                     << "Label1"
                                     << "Latitude" << QList<int>{60, 660, 675, 195};
    QTest::newRow("position LatitudeD")
        << "position"
        << "LatitudeD" << QString() << QList<int>{780, 600, 600, 285};
    QTest::newRow("position LatitudeM")
        << "position"
        << "LatitudeM" << QString() << QList<int>{1440, 600, 600, 285};
    QTest::newRow("position Label3") << "position"
                                     << "Label3"
                                     << "Longitude" << QList<int>{0, 1020, 735, 195};
    QTest::newRow("position LongitudeD")
        << "position"
        << "LongitudeD" << QString() << QList<int>{780, 960, 600, 285};
    QTest::newRow("position LongitudeM")
        << "position"
        << "LongitudeM" << QString() << QList<int>{1440, 960, 600, 285};
    QTest::newRow("position set") << "position"
                                  << "SetPosition"
                                  << "Set Position" << QList<int>{60, 1320, 1095, 255};
    QTest::newRow("position cancel") << "position"
                                     << "Exit"
                                     << "Cancel" << QList<int>{1260, 1320, 795, 255};

    QTest::newRow("height Label1") << "height"
                                   << "Label1"
                                   << "Height" << QList<int>{120, 120, 675, 195};
    QTest::newRow("height CurHeight") << "height"
                                      << "CurHeight" << QString() << QList<int>{840, 60, 1080, 285};
    QTest::newRow("height Label3") << "height"
                                   << "Label3"
                                   << "Accuracy" << QList<int>{120, 480, 675, 195};
    QTest::newRow("height Accuracy") << "height"
                                     << "Accuracy" << QString() << QList<int>{840, 420, 1080, 285};
    QTest::newRow("height set") << "height"
                                << "SetH"
                                << "Set Height" << QList<int>{60, 780, 1095, 255};
    QTest::newRow("height cancel") << "height"
                                   << "Exit"
                                   << "Cancel" << QList<int>{1260, 780, 795, 255};
}

void TestSetupWindows::controlsStandWhereDesigned()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QList<int>, twips);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    auto w = makeWindow(kind, g);
    QWidget *c = w->findChild<QWidget *>(name);
    QVERIFY2(c, qPrintable(name));
    const QRect designed = twipsRect(twips[0], twips[1], twips[2], twips[3], w.get());
    if (auto *label = qobject_cast<QLabel *>(c)) {
        // A label may be wider than designed when the desktop font needs it.
        QCOMPARE(c->pos(), designed.topLeft());
        QCOMPARE(c->height(), designed.height());
        QVERIFY(c->width() >= designed.width());
        QCOMPARE(label->text(), caption);
        QVERIFY2(label->wordWrap() || label->font().pointSizeF() <= 6.5 ||
                     label->fontMetrics().horizontalAdvance(caption) <= label->width(),
                 "a one-line caption is cut off");
    } else if (kind == QLatin1String("position")) {
        // Set Position grows to show its title and widest fields: its boxes and
        // buttons keep their row and height, and may only widen or move right.
        QCOMPARE(c->y(), designed.y());
        QCOMPARE(c->height(), designed.height());
        QVERIFY(c->x() >= designed.x());
        QVERIFY(c->width() >= designed.width());
    } else {
        QCOMPARE(c->geometry(), designed);
    }
    if (auto *b = qobject_cast<QPushButton *>(c))
        QCOMPARE(b->text(), caption);
    else if (!qobject_cast<QLabel *>(c))
        QVERIFY(qobject_cast<QLineEdit *>(c));
    if (name == QLatin1String("Label2"))
        QCOMPARE(c->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

void TestSetupWindows::focusMovesInDesignedOrder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<int>>("client");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("Set Time") << "time"
                              << "Set Time" << QList<int>{3285, 1290}
                              << QStringList{"UTC(1)", "UTC(2)", "UTC(3)",     "UTC(4)",
                                             "UTC(5)", "UTC(6)", "SetTime(0)", "Exit"};
    QTest::newRow("Set Position") << "position"
                                  << "Set Current Position" << QList<int>{2115, 1605}
                                  << QStringList{"LatitudeD",  "LatitudeM",   "LongitudeD",
                                                 "LongitudeM", "SetPosition", "Exit"};
    QTest::newRow("Set Height") << "height"
                                << "Set Height" << QList<int>{2130, 1065}
                                << QStringList{"Exit", "SetH", "CurHeight", "Accuracy"};
}

void TestSetupWindows::focusMovesInDesignedOrder()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QList<int>, client);
    QFETCH(QStringList, order);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    auto w = makeWindow(kind, g);
    QCOMPARE(w->windowTitle(), title);
    const QSize designed(twipsToPixels(client[0], w.get()), twipsToPixels(client[1], w.get()));
    if (kind == QLatin1String("position"))
        QVERIFY(w->width() >= designed.width() && w->height() >= designed.height());
    else
        QCOMPARE(w->size(), designed);
    // Start the walk at the first control of the order and go once round.
    QWidget *start = w->findChild<QWidget *>(order[0]);
    QStringList walked{start->objectName()};
    for (QWidget *c = start->nextInFocusChain(); c != start; c = c->nextInFocusChain()) {
        if (c->focusPolicy() & Qt::TabFocus)
            walked << c->objectName();
    }
    QCOMPARE(walked, order);
}

void TestSetupWindows::setPositionShowsItsTitleAndWidestFields_data()
{
    QTest::addColumn<QString>("field"); // empty: the window's title and edges
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << ""
                           << "";
    QTest::newRow("latitude minutes") << "LatitudeM"
                                      << "22.4837";
    QTest::newRow("longitude minutes") << "LongitudeM"
                                       << "59.9999";
}

void TestSetupWindows::setPositionShowsItsTitleAndWidestFields()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    SetPosition w(g);
    w.show();
    if (field.isEmpty()) {
        // The title in a bold desktop font, beside at least an icon and a close button.
        QFont bold = QApplication::font();
        bold.setBold(true);
        const QFontMetrics fm(bold);
        QVERIFY(w.width() >= fm.horizontalAdvance(w.windowTitle()) + 3 * fm.height());
        // Cancel keeps the designed margin to the window's right edge.
        QCOMPARE(w.width() - pushButton(w, QStringLiteral("Exit"))->geometry().right() - 1,
                 twipsToPixels(60, &w));
        return;
    }
    QLineEdit *e = edit(w, field);
    // A text box scrolls its text, when it paints, to show the cursor: with the cursor
    // at the end of a text that fits, the start of the text stays where it was.
    e->clear();
    w.grab();
    const int start = e->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
    e->setText(text);
    e->setCursorPosition(int(text.size()));
    w.grab();
    e->setCursorPosition(0);
    QCOMPARE(e->inputMethodQuery(Qt::ImCursorRectangle).toRect().x(), start);
}

void TestSetupWindows::setHeightOpensWithFocusOnCancel()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    SetHeight w(g);
    w.Form_Load();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), pushButton(w, QStringLiteral("Exit")));
}

void TestSetupWindows::menuEntryPointsShowModalWindows_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("name");
    QTest::newRow("showSetTime") << 0 << "SetTime";
    QTest::newRow("showSetPosition") << 1 << "SetPosition";
    QTest::newRow("showSetHeight") << 2 << "SetHeight";
}

void TestSetupWindows::menuEntryPointsShowModalWindows()
{
    QFETCH(int, which);
    QFETCH(QString, name);
    Link l;
    QString seen;
    bool modal = false;
    // Once the window is up, the user presses Cancel.
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *m = QApplication::activeModalWidget();
        if (!m)
            return;
        poll.stop();
        seen = m->objectName();
        modal = m->isModal();
        pushButton(*m, QStringLiteral("Exit"))->click();
    });
    poll.start();
    QWidget parent;
    if (which == 0)
        showSetTime(l.g, &parent);
    else if (which == 1)
        showSetPosition(l.g, &parent);
    else
        showSetHeight(l.g, &parent);
    QCOMPARE(seen, name);
    QVERIFY(modal);
    QCOMPARE(l.received(0), QByteArray());
}

QTEST_MAIN(TestSetupWindows)
#include "tst_setupwindows.moc"
