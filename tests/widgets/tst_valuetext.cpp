#include "widgets/valuetext.h"
#include "widgets/valuetextaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
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
    void paintsAsTheLayoutDraws_data();
    void paintsAsTheLayoutDraws();
    void keyboardReachesAndSelects_data();
    void keyboardReachesAndSelects();
    void announcedAtMostOnceASecondWhileFocused_data();
    void announcedAtMostOnceASecondWhileFocused();
    void aScreenReaderHearsWhatANewTextReplaces_data();
    void aScreenReaderHearsWhatANewTextReplaces();
    void aChangedPartPaintedShowsTheNewText_data();
    void aChangedPartPaintedShowsTheNewText();
    void aGroupBoxTintShowsAroundTheText_data();
    void aGroupBoxTintShowsAroundTheText();
    void aTextCutOffShowsWholeInItsTip_data();
    void aTextCutOffShowsWholeInItsTip();
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

// The device pixel ratios of the screens the control is drawn for.
const qreal kRatios[] = {1, 1.25, 1.5, 2};

// Where the control is drawn across its window: at the fractional ratios its edges fall
// within device pixels, as they do for most controls of a window.
constexpr int kLeft = 3;

// The control as drawn on a screen of device pixel ratio `ratio`.
QImage rendered(ValueText *w, qreal ratio)
{
    QImage image((QSizeF(w->size() + QSize(kLeft, 0)) * ratio).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    w->render(&image, QPoint(kLeft, 0));
    return image;
}

// A clock the test moves by hand, the wake-up when it passes the time asked for, and the
// texts a screen reader was told.
class HandClock : public Announcer {
public:
    qint64 now = 100000;
    qint64 due = -1;
    QStringList told;
    // What a screen reader hears of each text told: the new value, and the text it replaces.
    QStringList heard;
    bool listening() const override { return true; }
    void tell(QWidget *control, const QString &text) override
    {
        told << text;
        Announcer::tell(control, text);
    }
    void send(QAccessibleEvent *e) override
    {
        if (e->type() == QAccessible::ValueChanged)
            heard << QStringLiteral("value %1")
                         .arg(static_cast<QAccessibleValueChangeEvent *>(e)->value().toString());
        if (e->type() == QAccessible::TextUpdated) {
            const auto *update = static_cast<QAccessibleTextUpdateEvent *>(e);
            heard << QStringLiteral("at %1 '%2' for '%3'")
                         .arg(update->changePosition())
                         .arg(update->textInserted(), update->textRemoved());
        }
    }
    qint64 nowMs() const override { return now; }
    void wakeIn(int ms) override { due = now + ms; }
    void advance(int ms)
    {
        now += ms;
        if (due >= 0 && now >= due) {
            due = -1;
            emit woke();
        }
    }
};

// A control with the focus in an active window taken through `steps` (see the table of
// announcedAtMostOnceASecondWhileFocused): the texts its announcer was told, or what a screen
// reader heard of them.
QStringList announcementsOf(const QStringList &steps, bool heard)
{
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    auto *other = new QLineEdit;
    auto *w = new ValueText;
    row->addWidget(other);
    row->addWidget(w);
    auto *clock = new HandClock;
    w->setAnnouncer(clock);
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window))
        return {QStringLiteral("<the window is not active>")};
    w->setFocus();
    if (!QTest::qWaitFor([w] { return w->hasFocus(); }))
        return {QStringLiteral("<the control has no focus>")};

    for (const QString &step : steps) {
        if (step.startsWith(QLatin1Char('=')))
            w->setText(step.mid(1));
        else if (step.startsWith(QLatin1Char('+')))
            clock->advance(step.mid(1).toInt());
        else if (step == QLatin1String("blur"))
            other->setFocus();
        else if (step == QLatin1String("hide"))
            w->hide();
        else if (step == QLatin1String("minimise"))
            window.showMinimized();
    }
    return heard ? clock->heard : clock->told;
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
    QTest::addColumn<qreal>("ratio");

    // The box is four digits wide.
    for (const qreal ratio : kRatios) {
        const auto row = [ratio](const char *legend) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1, x%2").arg(legend).arg(ratio)));
        };
        *row("too long a text shows its beginning") << "0123"
                                                    << "01234567" << true << true << ratio;
        *row("leading blanks are kept") << "45"
                                        << " 45" << true << false << ratio;
        *row("a disabled control is greyed") << "0123"
                                             << "0123" << false << false << ratio;
    }
}

void TestValueText::paintedText()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, secondEnabled);
    QFETCH(bool, same);
    QFETCH(qreal, ratio);

    ValueText w;
    w.setFrame(ValueText::Frame::Box);
    w.setWidthInChars(4);
    w.resize(w.sizeHint());
    w.setText(first);
    const QImage before = rendered(&w, ratio);
    w.setText(second);
    w.setEnabled(secondEnabled);
    const QImage after = rendered(&w, ratio);
    QCOMPARE(before == after, same);
}

void TestValueText::paintsAsTheLayoutDraws_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("chars");      // 0: as wide as its text
    QTest::addColumn<int>("lines");      // -1: one line; 0: as high as its text needs
    QTest::addColumn<QString>("family"); // empty: the default font, or the fixed one of dumps
    QTest::addColumn<int>("pixels");     // 0: the font's own size
    QTest::addColumn<qreal>("ratio");

    const int left = Qt::AlignLeft, right = Qt::AlignRight, centre = Qt::AlignHCenter;
    const int none = int(ValueText::Frame::None), box = int(ValueText::Frame::Box),
              panel = int(ValueText::Frame::Panel);
    const QString dump = QStringLiteral("CA CA 00 02 98 0F 5E 00 75 0E 8B 03 48 00 00 00 57 0D ");
    struct Row {
        const char *legend;
        QString text;
        int alignment, frame, chars, lines;
    };
    const Row rows[] = {
        {"time, left, box", "12:34:56", left, box, 12, -1},
        {"position, right", "N 52\u00b031'07.25\"", right, box, 12, -1},
        {"odd width, centred", "3D Track", centre, panel, 12, -1},
        {"ligature", "3D fix", centre, panel, 12, -1},
        {"mixed case, kerned pairs", "AVWay To.Ty", left, none, 12, -1},
        {"kerned pairs, right", "AV To LT", right, box, 12, -1},
        {"wider than its box, right", "0123456789012345678", right, box, 12, -1},
        {"leading blanks, centred", "  -7.5", centre, box, 12, -1},
        {"trailing blank, right", "42 ", right, box, 12, -1},
        {"sized by its text", "N 47\u00b022.2046", left, none, 0, -1},
        {"sized, kerned", "AVLTo", left, panel, 0, -1},
        {"sized, trailing blank", "W 8 ", left, box, 0, -1},
        {"Greek, needs shaping", "\u03b1\u03b2 12", left, box, 12, -1},
        {"a tab", "a\tb", left, box, 12, -1},
        {"empty", "", right, panel, 12, -1},
        {"hex dump, 3 lines", dump, left, box, 24, 3},
        {"hex dump, lines cut", dump, left, box, 30, 1},
        {"hex, as high as needed", dump, left, none, 14, 0},
        {"a word longer than a line", "0102030405060708090A0B0C 0D", left, box, 8, 3},
        {"wrapped, leading blanks", "   AB CD EF 01 23", left, box, 5, 4},
        {"blanks wider than a line", "     AB      CD", left, box, 2, 4},
        {"a word ending at the right edge", "01 23 45", left, none, 5, 0},
    };
    // The default font at its size and larger; two serifs with kerning pairs.
    const struct {
        const char *family;
        int pixels;
    } fonts[] = {{"", 0}, {"", 16}, {"DejaVu Serif", 13}, {"C059", 16}};
    for (const qreal ratio : kRatios)
        for (const auto &font : fonts)
            for (const Row &r : rows)
                QTest::newRow(qPrintable(
                    QStringLiteral("%1, %2 %3 px, x%4")
                        .arg(QLatin1String(r.legend), *font.family ? font.family : "default")
                        .arg(font.pixels)
                        .arg(ratio)))
                    << r.text << r.alignment << r.frame << r.chars << r.lines
                    << QString::fromLatin1(font.family) << font.pixels << ratio;
}

void TestValueText::paintsAsTheLayoutDraws()
{
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(int, frame);
    QFETCH(int, chars);
    QFETCH(int, lines);
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(qreal, ratio);

    QWidget window;
    ValueText *w = placeInWindow(window, ValueText::Frame(frame), alignment, chars, lines);
    QFont font = w->font();
    if (!family.isEmpty()) {
        font = QFont(family);
        // Fontconfig may add the foundry: "C059 [UKWN]".
        if (!QFontInfo(font).family().startsWith(family))
            QSKIP(qPrintable(family + QLatin1String(" is not installed")));
    }
    if (pixels > 0)
        font.setPixelSize(pixels);
    w->setFont(font);
    w->setText(text);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The same text laid out by Qt in the room inside the frame: wrapped lines from the top,
    // one line in the middle, cut at the margins beside it.
    const QRect r = w->textRect();
    QTextLayout reference(text, w->font(), w);
    QTextOption option(Qt::Alignment{alignment});
    option.setWrapMode(lines >= 0 ? QTextOption::WordWrap : QTextOption::NoWrap);
    reference.setTextOption(option);
    reference.beginLayout();
    int count = 0;
    qreal natural = 0;
    qreal bottom = 0;
    const qreal spacing = QFontMetricsF(w->font(), w).lineSpacing();
    for (QTextLine l = reference.createLine(); l.isValid(); l = reference.createLine(), ++count) {
        l.setLineWidth(r.width());
        l.setPosition(QPointF(0, count * spacing));
        natural = qMax(natural, l.naturalTextWidth());
        bottom = l.y() + l.height();
    }
    reference.endLayout();
    const qreal top = lines >= 0 ? r.top() : r.top() + std::floor((r.height() - bottom) / 2);

    const QImage shown = rendered(w, ratio);
    w->setText(QString());
    QImage expected = rendered(w, ratio);
    {
        QPainter p(&expected);
        p.translate(kLeft, 0);
        const int edge = frame == int(ValueText::Frame::None) ? 0 : 1;
        // Cut at the whole device pixels within the margins and the frame.
        const auto in = [ratio](qreal x, bool up, int offset = 0) {
            x = (x + offset) * ratio;
            return (up ? std::ceil(x) : std::floor(x)) / ratio - offset;
        };
        p.setClipRect(
            QRectF(QPointF(in(r.left(), true, kLeft), in(edge, true)),
                   QPointF(in(r.left() + r.width(), false, kLeft), in(w->height() - edge, false))));
        p.setPen(w->palette().color(frame == int(ValueText::Frame::Box) ? QPalette::Text
                                                                        : QPalette::WindowText));
        reference.draw(&p, QPointF(r.left(), top));
    }
    QCOMPARE(shown, expected);

    // The room it asks for is the room the layout takes.
    w->setText(text);
    if (chars == 0 && lines < 0)
        QCOMPARE(w->sizeHint().width(),
                 int(std::ceil(natural)) + (frame == int(ValueText::Frame::None) ? 0 : 8));
    if (lines == 0) {
        const int height = w->fontMetrics().lineSpacing() * qMax(1, count);
        QCOMPARE(w->sizeHint().height(), height);
        // Asked by a layout before it gives the control this width: the same lines.
        ValueText asked;
        asked.setFont(w->font());
        asked.setWrapped(0);
        asked.setText(text);
        asked.resize(1, 1);
        QCOMPARE(asked.heightForWidth(w->width()), height);
    }
}

void TestValueText::keyboardReachesAndSelects_data()
{
    QTest::addColumn<QString>("keys"); // Tab to the control first, then these
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("copied");

    // The control shows "N 47°22.2046".
    QTest::newRow("nothing selected: all copied") << ""
                                                  << ""
                                                  << "N 47\u00b022.2046";
    QTest::newRow("shift+right twice") << "S+Right S+Right"
                                       << "N "
                                       << "N ";
    QTest::newRow("shift+end") << "S+End"
                               << "N 47\u00b022.2046"
                               << "N 47\u00b022.2046";
    QTest::newRow("end, shift+left back") << "End S+Left S+Left"
                                          << "46"
                                          << "46";
    QTest::newRow("shift+home back from inside") << "Right Right Right S+Home"
                                                 << "N 4"
                                                 << "N 4";
    QTest::newRow("right moves without selecting") << "Right Right S+Right"
                                                   << "4"
                                                   << "4";
    QTest::newRow("past the end stays at the end") << "End Right S+Right"
                                                   << ""
                                                   << "N 47\u00b022.2046";
    QTest::newRow("ctrl+a") << "C+A"
                            << "N 47\u00b022.2046"
                            << "N 47\u00b022.2046";
}

void TestValueText::keyboardReachesAndSelects()
{
    QFETCH(QString, keys);
    QFETCH(QString, selected);
    QFETCH(QString, copied);

    QWidget window;
    auto *row = new QHBoxLayout(&window);
    auto *before = new QLineEdit;
    auto *w = new ValueText;
    row->addWidget(before);
    row->addWidget(w);
    w->setText(QStringLiteral("N 47\u00b022.2046"));
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    const QImage unfocused = w->grab().toImage();
    QTest::keyClick(before, Qt::Key_Tab);
    QTRY_VERIFY(w->hasFocus());
    // Where Tab brought the user shows.
    QVERIFY(w->grab().toImage() != unfocused);

    for (const QString &key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        Qt::KeyboardModifiers mods;
        QString name = key;
        if (name.startsWith(QLatin1String("S+")))
            mods = Qt::ShiftModifier;
        else if (name.startsWith(QLatin1String("C+")))
            mods = Qt::ControlModifier;
        if (mods)
            name = name.mid(2);
        const Qt::Key k = name == QLatin1String("Right")  ? Qt::Key_Right
                          : name == QLatin1String("Left") ? Qt::Key_Left
                          : name == QLatin1String("Home") ? Qt::Key_Home
                          : name == QLatin1String("End")  ? Qt::Key_End
                                                          : Qt::Key_A;
        QTest::keyClick(QApplication::focusWidget(), k, mods);
    }
    QCOMPARE(w->selectedText(), selected);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TestValueText::announcedAtMostOnceASecondWhileFocused_data()
{
    // Steps: "=TEXT" a new text, "+MS" time passes, "blur"/"hide"/"minimise" the user leaves.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("announced");

    QTest::newRow("the first text at once") << QStringList{"=1"} << QStringList{"1"};
    QTest::newRow("a second later, at once")
        << QStringList{"=1", "+1000", "=2"} << QStringList{"1", "2"};
    QTest::newRow("within the second, held to its end")
        << QStringList{"=1", "+999", "=2"} << QStringList{"1"};
    QTest::newRow("held, then told when the second is over")
        << QStringList{"=1", "+400", "=2", "+599"} << QStringList{"1"};
    QTest::newRow("held, told at the end of the second")
        << QStringList{"=1", "+400", "=2", "+600"} << QStringList{"1", "2"};
    QTest::newRow("ten a second: the latest each second")
        << QStringList{"=1", "+100", "=2", "+100", "=3", "+800", "+100", "=4", "+1000"}
        << QStringList{"1", "3", "4"};
    QTest::newRow("not focused: none")
        << QStringList{"blur", "=1", "+1000", "=2", "+1000"} << QStringList{};
    QTest::newRow("hidden: none") << QStringList{"hide", "=1", "+1000", "=2"} << QStringList{};
    QTest::newRow("window minimised: none")
        << QStringList{"minimise", "=1", "+1000", "=2"} << QStringList{};
    QTest::newRow("minimised while held: dropped")
        << QStringList{"=1", "+100", "=2", "minimise", "+1000"} << QStringList{"1"};
    QTest::newRow("left while held: dropped")
        << QStringList{"=1", "+100", "=2", "blur", "+1000"} << QStringList{"1"};
}

void TestValueText::announcedAtMostOnceASecondWhileFocused()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, announced);
    QCOMPARE(announcementsOf(steps, false), announced);
}

void TestValueText::aScreenReaderHearsWhatANewTextReplaces_data()
{
    QTest::addColumn<QStringList>("steps"); // as in announcedAtMostOnceASecondWhileFocused
    QTest::addColumn<QStringList>("events");

    QTest::newRow("the first text")
        << QStringList{"=12"} << QStringList{"value 12", "at 0 '12' for ''"};
    QTest::newRow("the next replaces it")
        << QStringList{"=12", "+1000", "=13"}
        << QStringList{"value 12", "at 0 '12' for ''", "value 13", "at 0 '13' for '12'"};
    // The reader never heard "2": the held "3" replaces "1".
    QTest::newRow("a held text replaces the last one heard")
        << QStringList{"=1", "+100", "=2", "+100", "=3", "+800"}
        << QStringList{"value 1", "at 0 '1' for ''", "value 3", "at 0 '3' for '1'"};
}

void TestValueText::aScreenReaderHearsWhatANewTextReplaces()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);

    QCOMPARE(announcementsOf(steps, true), events);
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

    // What the window really holds after the paints, not a fresh rendering of the control;
    // against a window that showed the last text from the start, painted whole.
    const auto shown = [&](const QStringList &given, bool whole) {
        QWidget window;
        ValueText *w = placeInWindow(window, ValueText::Frame::Box, alignment, 16, lines);
        if (whole)
            w->setText(given.last());
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
    const QImage changed = shown(texts, false);
    QVERIFY(!changed.isNull());
    QCOMPARE(changed, shown({texts.last()}, true));
}

void TestValueText::aGroupBoxTintShowsAroundTheText_data()
{
    QTest::addColumn<int>("frame");
    QTest::newRow("no frame") << int(ValueText::Frame::None);
    QTest::newRow("in a panel") << int(ValueText::Frame::Panel);
}

void TestValueText::aGroupBoxTintShowsAroundTheText()
{
    QFETCH(int, frame);

    // The default style shades the inside of a group box a little darker than the window.
    QGroupBox group(QStringLiteral("Health"));
    auto *column = new QVBoxLayout(&group);
    auto *w = new ValueText;
    w->setFrame(ValueText::Frame(frame));
    w->setWidthInChars(6);
    column->addWidget(w);
    group.show();
    QVERIFY(QTest::qWaitForWindowExposed(&group));
    // Within the panel's line, which at a fractional ratio reaches into the next pixel.
    const QRect inside(w->mapTo(&group, QPoint(2, 2)), w->size() - QSize(4, 4));
    const QImage shown = group.grab(inside).toImage();
    w->hide();
    QCOMPARE(shown, group.grab(inside).toImage());
}

void TestValueText::aTextCutOffShowsWholeInItsTip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("lines");   // -1: one line
    QTest::addColumn<QString>("own"); // a tip of its own
    QTest::addColumn<QString>("tip"); // empty: none

    QTest::newRow("as wide as its box: none") << "0123" << 4 << -1 << ""
                                              << "";
    QTest::newRow("a digit more: all of it") << "01234" << 4 << -1 << ""
                                             << "01234";
    QTest::newRow("lines as wide as the box, as many as it has: none") << "01 23 45" << 5 << 2 << ""
                                                                       << "";
    QTest::newRow("a line more than the box has: all of it") << "01 23 45" << 5 << 1 << ""
                                                             << "01 23 45";
    QTest::newRow("a tip of its own is kept") << "0123456" << 4 << -1 << "Fix status"
                                              << "Fix status";
}

void TestValueText::aTextCutOffShowsWholeInItsTip()
{
    QFETCH(QString, text);
    QFETCH(int, chars);
    QFETCH(int, lines);
    QFETCH(QString, own);
    QFETCH(QString, tip);

    ValueText w;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Advances of whole pixels, so that a text can be exactly as wide as its box.
    font.setHintingPreference(QFont::PreferFullHinting);
    w.setFont(font);
    w.setFrame(ValueText::Frame::Box);
    if (lines >= 0)
        w.setWrapped(lines);
    w.setWidthInChars(chars);
    w.setToolTip(own);
    w.setText(text);
    w.resize(w.sizeHint());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QToolTip::hideText();
    const QPoint at = w.rect().center();
    QHelpEvent help(QEvent::ToolTip, at, w.mapToGlobal(at));
    QApplication::sendEvent(&w, &help);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tip);
    QToolTip::hideText();
}

QTEST_MAIN(TestValueText)
#include "tst_valuetext.moc"
