#include "setup/ui/setupwindows.h"

#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/portmessage.h"
#include "platform/clock.h"
#include "platform/messageboxes.h"
#include "setup/setupcommands.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace {

const QString kWarning = QStringLiteral("This Command Doesn't seem to do anything,");

// The layouts are drawn for the classic 8-point dialog font; a larger desktop
// default would not fit the label heights.
void useDesignFont(QWidget *w)
{
    QFont f = w->font();
    f.setPointSize(8);
    w->setFont(f);
}

void fixClientSize(QWidget *w, int width, int height)
{
    w->setFixedSize(twipsToPixels(width, w), twipsToPixels(height, w));
}

// A desktop font wider than the design's may not get a one-line caption into its
// label: the label then takes the room up to the next control on its line (or the
// window's edge), and if that is not enough its font is narrowed and made smaller.
void fitCaption(QLabel *l)
{
    if (l->wordWrap())
        return;
    const QRect own = l->geometry();
    int right = l->parentWidget()->width();
    for (QWidget *s : l->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect r = s->geometry();
        if (s != l && !s->isWindow() && r.left() > own.left() && r.top() <= own.bottom() &&
            r.bottom() >= own.top())
            right = std::min(right, r.left());
    }
    const int needed = l->fontMetrics().horizontalAdvance(l->text()) + 1;
    if (needed > l->width())
        l->resize(std::min(right - own.left(), needed), l->height());
    shrinkFontToFit(l, l->width());
}

// Captions are fitted once every control of the window is in place.
void fitCaptions(QWidget *window)
{
    for (QLabel *l : window->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        fitCaption(l);
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, int left, int top,
              int width, int height, bool wrap = false)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setWordWrap(wrap);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(twipsRect(left, top, width, height, parent));
    return l;
}

QLabel *warningLabel(QWidget *parent, int width, int height, bool wrap)
{
    QLabel *l = label(parent, QStringLiteral("Label2"), kWarning, 60, 60, width, height, wrap);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(255, 0, 0));
    l->setPalette(p);
    return l;
}

// A filled field shows its beginning, as a freshly loaded text box does.
void fill(QLineEdit *e, const QString &text)
{
    e->setText(text);
    e->setCursorPosition(0);
}

QLineEdit *textBox(QWidget *parent, const QString &name, int left, int top, int width, int height)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setGeometry(twipsRect(left, top, width, height, parent));
    return e;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int left, int top,
                    int width, int height)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(twipsRect(left, top, width, height, parent));
    return b;
}

void chainFocus(const QList<QWidget *> &order)
{
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// The width a text box needs to show `text` whole, frame and margins included.
int textBoxWidthFor(const QLineEdit *e, const QString &text)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e);
    const QMargins m = e->textMargins();
    // QLineEdit keeps two pixels either side of its text, and one for the cursor.
    const QSize contents(e->fontMetrics().horizontalAdvance(text) + 4 + 1 + m.left() + m.right(),
                         e->fontMetrics().height());
    return e->style()->sizeFromContents(QStyle::CT_LineEdit, &opt, contents, e).width();
}

// A title bar shows the title in the desktop's (often bold, often larger) font beside
// the window's icon and three buttons: about two text heights each, with padding.
int titleWidthFor(const QString &title)
{
    QFont f = QApplication::font();
    f.setBold(true);
    const QFontMetrics fm(f);
    return fm.horizontalAdvance(title) + 10 * fm.height();
}

// Tells the user why nothing was sent and puts the cursor on the field to correct.
void refuse(GPS_Main &g, QWidget *window, const SetupPayload &p, QLineEdit *field)
{
    if (g.platform().boxes) {
        g.platform().boxes->show(window, p.refusal, window->windowTitle(), MsgButtons::Ok,
                                 MsgIcon::Exclamation, MsgAnswer::Ok);
    }
    if (field) {
        field->setFocus();
        field->selectAll();
    }
}

// A command refused by a closed port: the window stays open with what was typed.
void tellNotOpen(GPS_Main &g, QWidget *window)
{
    if (g.platform().boxes) {
        g.platform().boxes->show(window, notOpenText(), window->windowTitle(), MsgButtons::Ok,
                                 MsgIcon::Exclamation, MsgAnswer::Ok);
    }
}

} // namespace

SetTime::SetTime(GPS_Main &g, QWidget *parent) : QDialog(parent), m_g(g)
{
    setObjectName(QStringLiteral("SetTime"));
    setWindowTitle(QStringLiteral("Set Time"));
    useDesignFont(this);
    fixClientSize(this, 3285, 1290);

    warningLabel(this, 3195, 255, false);
    const QStringList captions = {QStringLiteral("Year"), QStringLiteral("Mon"),
                                  QStringLiteral("Day"),  QStringLiteral("Hour"),
                                  QStringLiteral("Min"),  QStringLiteral("Sec")};
    for (int i = 0; i < 6; ++i) {
        label(this, QStringLiteral("Label1(%1)").arg(i), captions[i], 240 + 480 * i, 360, 375, 195);
        m_utc[std::size_t(i)] =
            textBox(this, QStringLiteral("UTC(%1)").arg(i + 1), 180 + 480 * i, 600, 435, 285);
    }
    QPushButton *set =
        button(this, QStringLiteral("SetTime(0)"), QStringLiteral("Set Time"), 480, 960, 795, 255);
    set->setDefault(true);
    QPushButton *exit =
        button(this, QStringLiteral("Exit"), QStringLiteral("Cancel"), 1920, 960, 795, 255);
    connect(set, &QPushButton::clicked, this, [this] { SetTime_Click(0); });
    connect(exit, &QPushButton::clicked, this, &SetTime::Exit_Click);

    QList<QWidget *> order(m_utc.begin(), m_utc.end());
    order << set << exit;
    chainFocus(order);
    fitCaptions(this);
}

void SetTime::Form_Load()
{
    const QDateTime now =
        m_g.platform().clock ? m_g.platform().clock->now() : QDateTime::currentDateTime();
    const QStringList fields = setTimeFields(now);
    for (int i = 0; i < 6; ++i)
        fill(m_utc[std::size_t(i)], fields[i]);
}

void SetTime::SetTime_Click(int Index)
{
    Q_UNUSED(Index);
    QStringList texts;
    for (QLineEdit *e : m_utc)
        texts << e->text();
    const SetupPayload p = setTimePayload(texts);
    if (!p.ok()) {
        refuse(m_g, this, p, p.field >= 0 ? m_utc[std::size_t(p.field)] : nullptr);
        return;
    }
    if (!sendSetTime(m_g, p.payload))
        return tellNotOpen(m_g, this);
    accept();
}

void SetTime::Exit_Click()
{
    reject();
}

SetPosition::SetPosition(GPS_Main &g, QWidget *parent) : QDialog(parent), m_g(g)
{
    setObjectName(QStringLiteral("SetPosition"));
    setWindowTitle(QStringLiteral("Set Current Position"));
    useDesignFont(this);
    fixClientSize(this, 2115, 1605);

    warningLabel(this, 1995, 435, true);
    label(this, QStringLiteral("Label1"), QStringLiteral("Latitude"), 60, 660, 675, 195);
    LatitudeD = textBox(this, QStringLiteral("LatitudeD"), 780, 600, 600, 285);
    LatitudeM = textBox(this, QStringLiteral("LatitudeM"), 1440, 600, 600, 285);
    label(this, QStringLiteral("Label3"), QStringLiteral("Longitude"), 0, 1020, 735, 195);
    LongitudeD = textBox(this, QStringLiteral("LongitudeD"), 780, 960, 600, 285);
    LongitudeM = textBox(this, QStringLiteral("LongitudeM"), 1440, 960, 600, 285);
    QPushButton *set = button(this, QStringLiteral("SetPosition"), QStringLiteral("Set Position"),
                              60, 1320, 1095, 255);
    set->setDefault(true);
    QPushButton *exit =
        button(this, QStringLiteral("Exit"), QStringLiteral("Cancel"), 1260, 1320, 795, 255);
    connect(set, &QPushButton::clicked, this, &SetPosition::SetPosition_Click);
    connect(exit, &QPushButton::clicked, this, &SetPosition::Exit_Click);

    chainFocus({LatitudeD, LatitudeM, LongitudeD, LongitudeM, set, exit});
    fitToTexts(set, exit);
    fitCaptions(this);
}

void SetPosition::fitToTexts(QPushButton *set, QPushButton *exit)
{
    // The designed minutes boxes cut the widest minutes the window fills in
    // ("22.4837"), and the window is narrower than its own title: both grow, and
    // Cancel keeps its margin to the right edge.
    const int gap = twipsToPixels(60, this);
    const int minutes =
        std::max(LatitudeM->width(), textBoxWidthFor(LatitudeM, QStringLiteral("59.9999")));
    LatitudeM->resize(minutes, LatitudeM->height());
    LongitudeM->resize(minutes, LongitudeM->height());
    const int fields = LatitudeM->geometry().right() + 1 + twipsToPixels(75, this);
    const int buttons = set->geometry().right() + 1 + gap + exit->width() + gap;
    const int width = std::max({this->width(), fields, buttons, titleWidthFor(windowTitle())});
    setFixedSize(width, height());
    exit->move(width - gap - exit->width(), exit->y());
    if (auto *warning = findChild<QLabel *>(QStringLiteral("Label2")))
        warning->resize(width - 2 * warning->x(), warning->height());
}

void SetPosition::Form_Load()
{
    const auto &nav = m_g.LastNavigation;
    const auto lat = positionFields(nav[4], nav[5], nav[6], nav[7]);
    fill(LatitudeD, lat[0]);
    fill(LatitudeM, lat[1]);
    const auto lon = positionFields(nav[8], nav[9], nav[10], nav[11]);
    fill(LongitudeD, lon[0]);
    fill(LongitudeM, lon[1]);
}

void SetPosition::SetPosition_Click()
{
    const SetupPayload p = setPositionPayload(LatitudeD->text(), LatitudeM->text(),
                                              LongitudeD->text(), LongitudeM->text());
    if (!p.ok()) {
        QLineEdit *const fields[] = {LatitudeD, LatitudeM, LongitudeD, LongitudeM};
        refuse(m_g, this, p, p.field >= 0 && p.field < 4 ? fields[p.field] : LatitudeD);
        return;
    }
    if (!sendSetPosition(m_g, p.payload))
        return tellNotOpen(m_g, this);
    accept();
}

void SetPosition::Exit_Click()
{
    reject();
}

SetHeight::SetHeight(GPS_Main &g, QWidget *parent) : QDialog(parent), m_g(g)
{
    setObjectName(QStringLiteral("SetHeight"));
    setWindowTitle(QStringLiteral("Set Height"));
    useDesignFont(this);
    fixClientSize(this, 2130, 1065);

    label(this, QStringLiteral("Label1"), QStringLiteral("Height"), 120, 120, 675, 195);
    CurHeight = textBox(this, QStringLiteral("CurHeight"), 840, 60, 1080, 285);
    label(this, QStringLiteral("Label3"), QStringLiteral("Accuracy"), 120, 480, 675, 195);
    Accuracy = textBox(this, QStringLiteral("Accuracy"), 840, 420, 1080, 285);
    QPushButton *set =
        button(this, QStringLiteral("SetH"), QStringLiteral("Set Height"), 60, 780, 1095, 255);
    m_exit = button(this, QStringLiteral("Exit"), QStringLiteral("Cancel"), 1260, 780, 795, 255);
    connect(set, &QPushButton::clicked, this, &SetHeight::SetH_Click);
    connect(m_exit, &QPushButton::clicked, this, &SetHeight::Exit_Click);

    chainFocus({m_exit, set, CurHeight, Accuracy});
    fitCaptions(this);
    m_exit->setFocus();
}

void SetHeight::Form_Load()
{
    fill(CurHeight, heightFieldText(m_g.LastNavigation[12], m_g.LastNavigation[13]));
    fill(Accuracy, QStringLiteral("0"));
}

void SetHeight::SetH_Click()
{
    const SetupPayload p = setHeightPayload(CurHeight->text(), Accuracy->text());
    if (!p.ok()) {
        refuse(m_g, this, p, p.field == 1 ? Accuracy : CurHeight);
        return;
    }
    if (!sendSetHeight(m_g, p.payload))
        return tellNotOpen(m_g, this);
    accept();
}

void SetHeight::Exit_Click()
{
    reject();
}

void showSetTime(GPS_Main &g, QWidget *parent)
{
    SetTime w(g, parent);
    w.Form_Load();
    w.exec();
}

void showSetPosition(GPS_Main &g, QWidget *parent)
{
    SetPosition w(g, parent);
    w.Form_Load();
    w.exec();
}

void showSetHeight(GPS_Main &g, QWidget *parent)
{
    SetHeight w(g, parent);
    w.Form_Load();
    w.exec();
}
