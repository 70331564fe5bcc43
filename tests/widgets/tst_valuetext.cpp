#include "widgets/valuetext.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QtTest>

// The control behind every value a window shows: selecting and copying as in a read-only
// text box, and no repaint or relayout that a message does not need.
class TestValueText : public QObject {
    Q_OBJECT
private slots:
    void selectingAndCopying_data();
    void selectingAndCopying();
    void onlyANewTextRepaintsAndOnlyANewSizeRelays_data();
    void onlyANewTextRepaintsAndOnlyANewSizeRelays();
    void paintedText_data();
    void paintedText();
    void glyphsDrawnAsTheLayoutDraws_data();
    void glyphsDrawnAsTheLayoutDraws();
    void aChangedPartPaintedShowsTheNewText_data();
    void aChangedPartPaintedShowsTheNewText();
};

namespace {

// Counts the paints of a control and the relayouts it asks of its window.
class EventCounter : public QObject {
public:
    QObject *control = nullptr;
    int paints = 0;
    int layoutRequests = 0;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == control && e->type() == QEvent::Paint)
            ++paints;
        if (o != control && e->type() == QEvent::LayoutRequest)
            ++layoutRequests;
        return false;
    }
};

// Where the character boundary `index` is drawn, for a fixed-pitch text wrapped every
// `lineChars` characters (0: one line).
QPoint boundary(const ValueText &w, int index, int lineChars)
{
    const QRect r = w.textRect();
    const int line = lineChars > 0 && index > 0 ? (index - 1) / lineChars : 0;
    const int start = line * lineChars;
    const int x = w.fontMetrics().horizontalAdvance(w.text().mid(start, index - start));
    const int y = lineChars > 0 ? w.fontMetrics().lineSpacing() * line + 3 : r.height() / 2;
    return {r.left() + x, r.top() + y};
}

// A control in a window of its own, top left; lines -1: one line, else wrapped (0: as high
// as its text needs) in the fixed-pitch font of the hex dumps.
ValueText *placeInWindow(QWidget &window, ValueText::Frame frame, int alignment, int chars,
                         int lines)
{
    auto *row = new QHBoxLayout(&window);
    auto *w = new ValueText;
    row->addWidget(w, 0, Qt::AlignTop);
    row->addStretch();
    w->setFrame(frame);
    w->setAlignment(Qt::Alignment(alignment));
    if (lines >= 0) {
        w->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        w->setWrapped(lines);
    }
    w->setWidthInChars(chars);
    return w;
}

} // namespace

void TestValueText::selectingAndCopying_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("wrapBytes");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("copied");

    const QString dump = QStringLiteral("00 11 22 33 44 55 66 77 ");
    QTest::newRow("drag over part") << " 45°30.125" << 0 << "drag" << 1 << 6 << "45°30";
    QTest::newRow("drag backwards") << " 45°30.125" << 0 << "drag" << 6 << 1 << "45°30";
    QTest::newRow("nothing selected copies all") << "  0" << 0 << "none" << 0 << 0 << "  0";
    QTest::newRow("select all key")
        << "12/31/1999 4:59:59 PM" << 0 << "selectAll" << 0 << 0 << "12/31/1999 4:59:59 PM";
    QTest::newRow("double-click takes a word between blanks")
        << "12/31/1999 4:59:59 PM" << 0 << "doubleClick" << 13 << 0 << "4:59:59";
    QTest::newRow("double-click on blanks takes all")
        << "1  2" << 0 << "doubleClick" << 2 << 0 << "1  2";
    QTest::newRow("a new text clears the selection")
        << "3D Fix" << 0 << "dragThenNewText" << 0 << 2 << "2D Fix";
    QTest::newRow("wrapped dump across lines")
        << dump << 4 << "drag" << 3 << 17 << "11 22 33 44 55";
}

void TestValueText::selectingAndCopying()
{
    QFETCH(QString, text);
    QFETCH(int, wrapBytes);
    QFETCH(QString, gesture);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, copied);

    ValueText w;
    w.setFrame(ValueText::Frame::Box);
    if (wrapBytes > 0) {
        w.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        w.setWrapped(3);
        w.setWidthInChars(3 * wrapBytes);
    }
    w.setText(text);
    w.resize(w.sizeHint());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QGuiApplication::clipboard()->clear();

    const int lineChars = 3 * wrapBytes;
    if (gesture.startsWith(QLatin1String("drag"))) {
        QTest::mousePress(&w, Qt::LeftButton, {}, boundary(w, from, lineChars));
        QTest::mouseMove(&w, boundary(w, to, lineChars));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, boundary(w, to, lineChars));
        QVERIFY(w.hasSelectedText());
    } else if (gesture == QLatin1String("doubleClick")) {
        QTest::mouseDClick(&w, Qt::LeftButton, {}, boundary(w, from, lineChars));
    } else if (gesture == QLatin1String("selectAll")) {
        QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    }
    if (gesture == QLatin1String("dragThenNewText")) {
        w.setText(copied);
        QVERIFY(!w.hasSelectedText());
    }
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TestValueText::onlyANewTextRepaintsAndOnlyANewSizeRelays_data()
{
    QTest::addColumn<int>("chars");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("repaints");
    QTest::addColumn<bool>("relays");

    QTest::newRow("same text") << 6 << "12.5"
                               << "12.5" << false << false;
    QTest::newRow("new text in a box of fixed width") << 6 << "12.5"
                                                      << "1234.75" << true << false;
    QTest::newRow("new text as wide, sized by its text") << 0 << "12"
                                                         << "13" << true << false;
    QTest::newRow("wider text, sized by its text") << 0 << "1"
                                                   << "1234" << true << true;
}

void TestValueText::onlyANewTextRepaintsAndOnlyANewSizeRelays()
{
    QFETCH(int, chars);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, repaints);
    QFETCH(bool, relays);

    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *w = new ValueText(&window);
    w->setFrame(ValueText::Frame::Panel);
    w->setWidthInChars(chars);
    w->setText(first);
    layout->addWidget(w);
    layout->addStretch();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    EventCounter counter;
    counter.control = w;
    w->installEventFilter(&counter);
    window.installEventFilter(&counter);
    w->setText(second);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(w->text(), second);
    QCOMPARE(counter.paints > 0, repaints);
    QCOMPARE(counter.layoutRequests > 0, relays);
}

void TestValueText::paintedText_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("secondEnabled");
    QTest::addColumn<bool>("same");

    // The box is four digits wide.
    QTest::newRow("too long a text shows its beginning") << "0123"
                                                         << "01234567" << true << true;
    QTest::newRow("leading blanks are kept") << "45"
                                             << " 45" << true << false;
    QTest::newRow("a disabled control is greyed") << "0123"
                                                  << "0123" << false << false;
}

void TestValueText::paintedText()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, secondEnabled);
    QFETCH(bool, same);

    ValueText w;
    w.setFrame(ValueText::Frame::Box);
    w.setWidthInChars(4);
    w.resize(w.sizeHint());
    w.setText(first);
    const QImage before = w.grab().toImage();
    w.setText(second);
    w.setEnabled(secondEnabled);
    const QImage after = w.grab().toImage();
    QCOMPARE(before == after, same);
}

void TestValueText::glyphsDrawnAsTheLayoutDraws_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("chars"); // 0: as wide as its text
    QTest::addColumn<int>("lines"); // -1: one line; 0: as high as its text needs

    const int left = Qt::AlignLeft, right = Qt::AlignRight, centre = Qt::AlignHCenter;
    const int none = int(ValueText::Frame::None), box = int(ValueText::Frame::Box),
              panel = int(ValueText::Frame::Panel);
    const QString dump = QStringLiteral("CA CA 00 02 98 0F 5E 00 75 0E 8B 03 48 00 00 00 57 0D ");
    // Texts that go by glyphs, and texts that need the layout: they must look the same.
    QTest::newRow("time, left, box") << "12:34:56" << left << box << 12 << -1;
    QTest::newRow("position, right") << "N 52\u00b031'07.25\"" << right << box << 12 << -1;
    QTest::newRow("odd width, centred") << "3D Track" << centre << panel << 12 << -1;
    QTest::newRow("ligature") << "3D fix" << centre << panel << 12 << -1;
    QTest::newRow("mixed case, kerned pairs") << "AVWay To.Ty" << left << none << 12 << -1;
    QTest::newRow("wider than its box, right") << "0123456789012345678" << right << box << 12 << -1;
    QTest::newRow("leading blanks, centred") << "  -7.5" << centre << box << 12 << -1;
    QTest::newRow("trailing blank, right") << "42 " << right << box << 12 << -1;
    QTest::newRow("sized by its text") << "N 47\u00b022.2046" << left << none << 0 << -1;
    QTest::newRow("sized, trailing blank") << "W 8 " << left << box << 0 << -1;
    QTest::newRow("Greek, needs shaping") << "\u03b1\u03b2 12" << left << box << 12 << -1;
    QTest::newRow("a tab") << "a\tb" << left << box << 12 << -1;
    QTest::newRow("empty") << "" << right << panel << 12 << -1;
    QTest::newRow("hex dump, 3 lines") << dump << left << box << 24 << 3;
    QTest::newRow("hex dump, lines cut") << dump << left << box << 30 << 1;
    QTest::newRow("hex, as high as needed") << dump << left << none << 14 << 0;
    QTest::newRow("a word longer than a line")
        << "0102030405060708090A0B0C 0D" << left << box << 8 << 3;
    QTest::newRow("wrapped, leading blanks") << "   AB CD EF 01 23" << left << box << 5 << 4;
    QTest::newRow("blanks wider than a line") << "     AB      CD" << left << box << 2 << 4;
}

void TestValueText::glyphsDrawnAsTheLayoutDraws()
{
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(int, frame);
    QFETCH(int, chars);
    QFETCH(int, lines);

    QWidget window;
    ValueText *w = placeInWindow(window, ValueText::Frame(frame), alignment, chars, lines);
    w->setText(text);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Drawn from its glyphs while the user leaves it alone, from the layout while it has
    // the keyboard focus: the text must not move or change when the user clicks into it.
    const QImage glyphs = w->grab().toImage();
    w->setFocus();
    QTRY_VERIFY(w->hasFocus());
    QCOMPARE(w->grab().toImage(), glyphs);

    // The room it asks for is the room the layout takes.
    QTextLayout reference(text, w->font());
    QTextOption option;
    option.setWrapMode(lines >= 0 ? QTextOption::WordWrap : QTextOption::NoWrap);
    reference.setTextOption(option);
    reference.beginLayout();
    int count = 0;
    qreal natural = 0;
    for (QTextLine l = reference.createLine(); l.isValid(); l = reference.createLine(), ++count) {
        l.setLineWidth(w->textRect().width());
        natural = qMax(natural, l.naturalTextWidth());
    }
    reference.endLayout();
    if (chars == 0 && lines < 0)
        QCOMPARE(w->sizeHint().width(),
                 int(std::ceil(natural)) + (frame == int(ValueText::Frame::None) ? 0 : 8));
    if (lines == 0)
        QCOMPARE(w->sizeHint().height(), w->fontMetrics().lineSpacing() * qMax(1, count));
}

void TestValueText::aChangedPartPaintedShowsTheNewText_data()
{
    QTest::addColumn<QStringList>("texts"); // given in turn
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("lines"); // -1: one line

    const int left = Qt::AlignLeft, right = Qt::AlignRight, centre = Qt::AlignHCenter;
    const QString dump = QStringLiteral("CA CA 00 02 98 0F 5E 00 75 0E 8B 03 48 00 00 00 57 0D ");
    QString dump2 = dump;
    dump2.replace(18, 2, QStringLiteral("61")).replace(51, 2, QStringLiteral("A1"));
    QTest::newRow("last digits") << QStringList{" 47\u00b022.2046", " 47\u00b022.2051"} << left
                                 << -1;
    QTest::newRow("shorter, right") << QStringList{"1234.5", "99.5"} << right << -1;
    QTest::newRow("longer, centred") << QStringList{"7", "3D Track"} << centre << -1;
    QTest::newRow("narrower digit") << QStringList{"W 111", "W 1.1"} << left << -1;
    QTest::newRow("to a text that needs the layout") << QStringList{"12", "\u03b1"} << left << -1;
    QTest::newRow("to nothing") << QStringList{"12:34", ""} << left << -1;
    QTest::newRow("twice before a paint") << QStringList{"100", "101", "991"} << left << -1;
    QTest::newRow("a dump, bytes on two lines") << QStringList{dump, dump2} << left << 3;
    QTest::newRow("a dump, lines broken anew")
        << QStringList{dump, "CA CA 0102030405060708 00"} << left << 3;
}

void TestValueText::aChangedPartPaintedShowsTheNewText()
{
    QFETCH(QStringList, texts);
    QFETCH(int, alignment);
    QFETCH(int, lines);

    // What the window really holds after the paints, not a fresh rendering of the control.
    const auto shown = [&](const QStringList &given) {
        QWidget window;
        ValueText *w = placeInWindow(window, ValueText::Frame::Box, alignment, 16, lines);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return QImage();
        // The first text painted, the others given before the next paint.
        for (const QString &text : given) {
            w->setText(text);
            if (&text == &given.first())
                QTest::qWait(20);
        }
        QTest::qWait(20);
        return window.screen()->grabWindow(window.winId()).toImage();
    };
    const QImage changed = shown(texts);
    QVERIFY(!changed.isNull());
    QCOMPARE(changed, shown({texts.last()}));
}

QTEST_MAIN(TestValueText)
#include "tst_valuetext.moc"
