#include "widgets/valuetext.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cmath>
#include <qdrawutil.h>

namespace {

// The width the control asks for when it is wrapped and given no width in digits.
constexpr int kWrappedChars = 40;

// Characters that shaping leaves as they are: printable ASCII and Latin-1 (the degree
// sign of a position), without the invisible soft hyphen and without "f", which starts
// the ligatures (fi, fl, ff) of most Latin fonts. An aligned text with a trailing blank is
// left to the layout, which does not count the blank when it aligns the line.
bool drawnAsGlyphs(const QString &text, bool leftAligned)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u > 0x7e && u < 0xa0) || u == 0xad || u > 0xff || u == u'f')
            return false;
    }
    return leftAligned || text.isEmpty() || text.back() != QLatin1Char(' ');
}

struct GlyphLines {
    int lines = 1;
    qreal end = 0; // where the last line ends
};

// Places the glyphs of `text` one after the other from (0, 0), the baseline of the first
// line. Given a `width` (>= 0), the text breaks after blanks as the layout breaks it: a word
// goes down a line when it would end past the right edge, except the first word of a line;
// the blanks before it stay behind; a run of blanks wider than the line ends the line itself.
GlyphLines placeGlyphs(const QString &text, const QList<QPointF> &advances, qreal width,
                       qreal lineSpacing, QList<QPointF> &positions)
{
    const qsizetype n = advances.size();
    const bool wrapped = width >= 0;
    qreal x = 0;
    int line = 0;
    bool lineHasWord = false;
    const auto place = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            positions[i] = QPointF(x, line * lineSpacing);
            x += advances.at(i).x();
        }
    };
    for (qsizetype i = 0; i < n;) {
        const qsizetype blanksStart = i;
        qreal blanks = 0;
        while (i < n && text.at(i) == QLatin1Char(' '))
            blanks += advances.at(i++).x();
        place(blanksStart, i);
        if (wrapped && blanks > width && i < n) {
            ++line;
            x = 0;
            lineHasWord = false;
        }
        const qsizetype wordStart = i;
        qreal word = 0;
        while (i < n && text.at(i) != QLatin1Char(' '))
            word += advances.at(i++).x();
        if (i == wordStart)
            continue;
        if (wrapped && lineHasWord && x + word > width) {
            ++line;
            x = 0;
        }
        place(wordStart, i);
        lineHasWord = true;
    }
    return {line + 1, x};
}

} // namespace

ValueText::ValueText(QWidget *parent) : QWidget(parent)
{
    choosePainting();
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    relayout();
}

void ValueText::setText(const QString &text)
{
    if (text == m_text)
        return;
    // Only a size asked for from the text itself can make the window lay itself out
    // again; the others leave the shaping to the next paint.
    // A control placed by hand (no layout in its parent) is asked for no size.
    const bool laidOut = parentWidget() && parentWidget()->layout();
    const bool sizedByText =
        laidOut && ((m_chars == 0 && !m_wrapped) || (m_wrapped && m_lines == 0));
    const QSize before = sizedByText ? sizeHint() : QSize();
    // Where the old and the new text are both drawn from glyphs, only the glyphs that
    // change are painted again: the last digits of a position, a few bytes of a dump.
    const bool shown = isVisible() && !hasSelectedText();
    const QGlyphRun *run = shown ? glyphRun() : nullptr;
    const QGlyphRun old = run ? *run : QGlyphRun();
    const QPointF oldOrigin = run ? runOrigin() : QPointF();
    m_text = text;
    m_anchor = m_cursor = 0;
    relayout();
    if (sizedByText && sizeHint() != before)
        updateGeometry();
    if (run && glyphRun())
        update(changedSince(old, oldOrigin));
    else
        update();
    emit textChanged(m_text);
}

QPointF ValueText::runOrigin() const
{
    const QRect text = textRect();
    qreal x = text.left();
    if (m_alignment & Qt::AlignRight)
        x += text.width() - m_runWidth;
    else if (m_alignment & Qt::AlignHCenter) // halved in 64ths of a pixel, as the layout does
        x += qRound64((text.width() - m_runWidth) * 64) / 2 / 64.0;
    const qreal ascent = m_rawFont.ascent();
    const qreal top =
        m_wrapped ? text.top()
                  : text.top() + std::floor((text.height() - ascent - m_rawFont.descent()) / 2);
    return {x, top + ascent};
}

QGlyphRun ValueText::glyphsWithin(const QRect &area, QPointF origin) const
{
    // A glyph's ink stays within a square of the line's height around where it starts,
    // which is wider than any Latin letter and its overhang.
    const qreal ascent = m_rawFont.ascent();
    const qreal height = ascent + m_rawFont.descent();
    const QList<quint32> glyphs = m_run.glyphIndexes();
    const QList<QPointF> positions = m_run.positions();
    QList<quint32> someGlyphs;
    QList<QPointF> somePositions;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const QPointF at = positions.at(i) + origin;
        if (QRectF(at.x() - height / 2, at.y() - ascent - 1, 2 * height, height + 2)
                .intersects(area)) {
            someGlyphs.append(glyphs.at(i));
            somePositions.append(positions.at(i));
        }
    }
    QGlyphRun part;
    part.setRawFont(m_rawFont);
    part.setGlyphIndexes(someGlyphs);
    part.setPositions(somePositions);
    return part;
}

QRegion ValueText::changedSince(const QGlyphRun &old, QPointF oldOrigin) const
{
    const QList<quint32> oldGlyphs = old.glyphIndexes();
    const QList<QPointF> oldPositions = old.positions();
    const QList<quint32> glyphs = m_run.glyphIndexes();
    const QList<QPointF> positions = m_run.positions();
    const QPointF origin = runOrigin();
    // One span per line, from the first to the last glyph that changed on it, with a
    // pixel around the ink for its smoothed edges.
    QList<QRect> spans;
    const auto mark = [&](quint32 glyph, QPointF at) {
        const QRect ink = m_rawFont.boundingRect(glyph).translated(at).toAlignedRect();
        if (ink.isEmpty())
            return;
        const int line =
            m_lineSpacing > 0 ? qMax(0, qRound((at.y() - origin.y()) / m_lineSpacing)) : 0;
        if (spans.size() <= line)
            spans.resize(line + 1);
        spans[line] |= ink.adjusted(-1, -1, 1, 1);
    };
    const qsizetype n = qMax(oldGlyphs.size(), glyphs.size());
    for (qsizetype i = 0; i < n; ++i) {
        const bool inOld = i < oldGlyphs.size();
        const bool inNew = i < glyphs.size();
        const QPointF oldAt = inOld ? oldPositions.at(i) + oldOrigin : QPointF();
        const QPointF newAt = inNew ? positions.at(i) + origin : QPointF();
        if (inOld && inNew && oldGlyphs.at(i) == glyphs.at(i) && oldAt == newAt)
            continue;
        if (inOld)
            mark(oldGlyphs.at(i), oldAt);
        if (inNew)
            mark(glyphs.at(i), newAt);
    }
    QRegion region;
    for (const QRect &span : spans)
        region += span;
    return region;
}

void ValueText::setFrame(Frame frame)
{
    m_frame = frame;
    choosePainting();
    // A box keeps its height, as a text box does; a label may grow with its row.
    if (!m_wrapped)
        setSizePolicy(QSizePolicy::Preferred,
                      frame == Frame::Box ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    relayout();
    updateGeometry();
    update();
}

void ValueText::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment & Qt::AlignHorizontal_Mask;
    relayout();
    update();
}

void ValueText::setWidthInChars(int chars)
{
    m_chars = qMax(0, chars);
    updateGeometry();
}

void ValueText::setWrapped(int lines)
{
    m_wrapped = true;
    m_lines = qMax(0, lines);
    QSizePolicy policy(QSizePolicy::Preferred,
                       m_lines > 0 ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    policy.setHeightForWidth(m_lines == 0);
    setSizePolicy(policy);
    relayout();
    updateGeometry();
    update();
}

QString ValueText::selectedText() const
{
    return m_text.mid(qMin(m_anchor, m_cursor), qAbs(m_cursor - m_anchor));
}

void ValueText::selectAll()
{
    select(0, int(m_text.size()));
}

void ValueText::copy() const
{
    QGuiApplication::clipboard()->setText(hasSelectedText() ? selectedText() : m_text);
}

void ValueText::choosePainting()
{
    // Where every pixel is painted here, the parent need not be painted under a new text.
    // Some styles tint the inside of a group box: a label or a panel there lets it show.
    m_fillsWindow = true;
    for (const QWidget *w = parentWidget(); w && m_fillsWindow; w = w->parentWidget()) {
        m_fillsWindow = !qobject_cast<const QGroupBox *>(w);
        if (w->isWindow())
            break;
    }
    setAttribute(Qt::WA_OpaquePaintEvent, m_frame == Frame::Box || m_fillsWindow);
}

void ValueText::select(int anchor, int cursor)
{
    if (anchor == m_anchor && cursor == m_cursor)
        return;
    m_anchor = anchor;
    m_cursor = cursor;
    update();
}

QMargins ValueText::textMargins() const
{
    // The frame's line and the room a framed label or a text box leaves beside its text.
    switch (m_frame) {
    case Frame::None:
        return {};
    case Frame::Panel:
        return {4, 1, 4, 1};
    case Frame::Box:
        return {4, 3, 4, 3};
    }
    return {};
}

QRect ValueText::textRect() const
{
    return rect().marginsRemoved(textMargins());
}

QSize ValueText::hintFor(int lines) const
{
    const QFontMetrics metrics = fontMetrics();
    const QMargins m = textMargins();
    int width = 0;
    if (m_chars > 0)
        width = metrics.horizontalAdvance(QString(m_chars, QLatin1Char('0')));
    else if (m_wrapped)
        width = metrics.horizontalAdvance(QLatin1Char('0')) * kWrappedChars;
    else
        width = int(std::ceil(textWidth()));
    const int height = m_wrapped ? metrics.lineSpacing() * qMax(1, lines) : metrics.height();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

QSize ValueText::sizeHint() const
{
    return hintFor(m_wrapped && m_lines == 0 ? lineCount() : m_lines);
}

QSize ValueText::minimumSizeHint() const
{
    if (!m_wrapped)
        return sizeHint();
    const QMargins m = textMargins();
    return {fontMetrics().horizontalAdvance(QLatin1Char('0')) * 4 + m.left() + m.right(),
            hintFor(qMax(1, m_lines)).height()};
}

bool ValueText::hasHeightForWidth() const
{
    return m_wrapped && m_lines == 0;
}

int ValueText::heightForWidth(int width) const
{
    if (!hasHeightForWidth())
        return -1;
    if (width == this->width())
        return hintFor(lineCount()).height();
    // Asked while the window is laid out, never per message.
    const QMargins m = textMargins();
    QTextLayout layout(m_text, QFont(font(), this));
    QTextOption option(m_alignment);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(0, width - m.left() - m.right()));
        ++lines;
    }
    layout.endLayout();
    return hintFor(lines).height();
}

const QTextLayout &ValueText::layout() const
{
    if (!m_stale)
        return m_layout;
    m_stale = false;
    // The one place the text is shaped: painting and hit testing use this layout.
    const QRect r = textRect();
    m_layout.setText(m_text);
    m_layout.setFont(QFont(font(), this));
    QTextOption option(m_alignment);
    option.setWrapMode(m_wrapped ? QTextOption::WordWrap : QTextOption::NoWrap);
    m_layout.setTextOption(option);
    m_layout.setCacheEnabled(true);
    const qreal spacing = QFontMetricsF(m_layout.font()).lineSpacing();
    qreal y = 0;
    qreal height = 0;
    m_layout.beginLayout();
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLineWidth(qMax(0, r.width()));
        line.setPosition(QPointF(0, y));
        height = y + line.height();
        y += spacing;
    }
    m_layout.endLayout();
    // One line sits in the middle of its box; wrapped lines start at the top.
    const qreal top = m_wrapped ? r.top() : r.top() + std::floor((r.height() - height) / 2);
    m_layout.setPosition(QPointF(r.left(), top));
    return m_layout;
}

const QGlyphRun *ValueText::glyphRun() const
{
    if (!m_glyphsStale)
        return m_hasRun ? &m_run : nullptr;
    m_glyphsStale = false;
    m_hasRun = false;
    const bool left = !(m_alignment & (Qt::AlignRight | Qt::AlignHCenter));
    if ((m_wrapped && !left) || !drawnAsGlyphs(m_text, left))
        return nullptr;
    if (m_rawFontStale) {
        const QFont font(this->font(), this);
        m_rawFont = QRawFont::fromFont(font);
        m_lineSpacing = QFontMetricsF(font).lineSpacing();
        m_run.setRawFont(m_rawFont);
        m_rawFontStale = false;
    }
    if (!m_rawFont.isValid())
        return nullptr;
    const QList<quint32> glyphs = m_rawFont.glyphIndexesForString(m_text);
    // A character the font lacks is drawn from another font, which only the layout finds.
    if (glyphs.size() != m_text.size() || glyphs.contains(0))
        return nullptr;
    const QList<QPointF> advances =
        m_rawFont.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    const qsizetype n = glyphs.size();
    QList<QPointF> positions(n);
    const GlyphLines placed = placeGlyphs(
        m_text, advances, m_wrapped ? qMax(0, textRect().width()) : -1, m_lineSpacing, positions);
    m_run.setGlyphIndexes(glyphs);
    m_run.setPositions(positions);
    m_runWidth = placed.end;
    m_runLines = placed.lines;
    // The ink of a last character reaching past its advance widens the text, as it does
    // in the layout.
    m_runInkWidth = placed.end;
    if (n > 0) {
        const QRectF ink = m_rawFont.boundingRect(glyphs.at(n - 1));
        m_runInkWidth += qMax(0.0, ink.right() - advances.at(n - 1).x());
    }
    m_hasRun = true;
    return &m_run;
}

qreal ValueText::textWidth() const
{
    if (glyphRun())
        return m_runInkWidth;
    return layout().lineCount() > 0 ? layout().lineAt(0).naturalTextWidth() : 0;
}

int ValueText::lineCount() const
{
    return glyphRun() ? m_runLines : layout().lineCount();
}

int ValueText::positionAt(QPointF point) const
{
    const int count = layout().lineCount();
    if (count == 0)
        return 0;
    const QPointF local = point - layout().position();
    int i = 0;
    while (i + 1 < count && local.y() >= layout().lineAt(i + 1).y())
        ++i;
    return layout().lineAt(i).xToCursor(local.x());
}

bool ValueText::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::Polish:
        // By now the control sits where its window put it.
        choosePainting();
        break;
    case QEvent::ShortcutOverride: {
        // Copying and selecting the text here come before the window's shortcuts.
        auto *key = static_cast<QKeyEvent *>(e);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            e->accept();
            return true;
        }
        break;
    }
    case QEvent::ToolTip: {
        if (!toolTip().isEmpty())
            break;
        // All of a text cut off by its box, looked at only when the user asks.
        const int width = textRect().width();
        bool cut = m_wrapped && m_lines > 0 && layout().lineCount() > m_lines;
        for (int i = 0; !cut && i < layout().lineCount(); ++i)
            cut = layout().lineAt(i).naturalTextWidth() > width;
        if (cut)
            QToolTip::showText(static_cast<QHelpEvent *>(e)->globalPos(), m_text, this);
        else
            QToolTip::hideText();
        return true;
    }
    default:
        break;
    }
    return QWidget::event(e);
}

void ValueText::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange) {
        m_rawFontStale = true;
        relayout();
    } else if (e->type() == QEvent::ParentChange)
        choosePainting();
    QWidget::changeEvent(e);
}

void ValueText::resizeEvent(QResizeEvent *e)
{
    relayout();
    QWidget::resizeEvent(e);
}

void ValueText::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    const QPalette &pal = palette();
    switch (m_frame) {
    case Frame::None:
        if (m_fillsWindow)
            p.fillRect(rect(), pal.window());
        break;
    case Frame::Panel:
        qDrawShadePanel(&p, rect(), pal, true, 1, m_fillsWindow ? &pal.window() : nullptr);
        break;
    case Frame::Box:
        // The line around the box, then the inside: two plain fills draw it fastest.
        p.fillRect(rect(), pal.color(QPalette::Window).darker(140));
        p.fillRect(rect().adjusted(1, 1, -1, -1), pal.base());
        break;
    }
    // Cut at the margins beside the text, as a text box cuts a text too long for it; above
    // and below, only the frame bounds it, so that a tight box keeps its descenders.
    const QRect frameInside = m_frame == Frame::None ? rect() : rect().adjusted(1, 1, -1, -1);
    const QRect text = textRect();
    const QRect inside(text.left(), frameInside.top(), text.width(), frameInside.height());
    p.setClipRect(inside);
    p.setPen(pal.color(m_frame == Frame::Box ? QPalette::Text : QPalette::WindowText));
    // While the user works with the text (a selection, the keyboard focus), it is drawn
    // from the layout that hit testing uses; otherwise from its glyphs alone, to the
    // same pixels.
    if (const QGlyphRun *run = hasSelectedText() || hasFocus() ? nullptr : glyphRun()) {
        const QPointF origin = runOrigin();
        if (e->rect().contains(rect()))
            p.drawGlyphRun(origin, *run);
        else
            p.drawGlyphRun(origin, glyphsWithin(e->rect(), origin));
        return;
    }
    QList<QTextLayout::FormatRange> selections;
    if (hasSelectedText()) {
        QTextLayout::FormatRange range;
        range.start = qMin(m_anchor, m_cursor);
        range.length = qAbs(m_cursor - m_anchor);
        range.format.setBackground(pal.highlight());
        range.format.setForeground(pal.highlightedText());
        selections.append(range);
    }
    layout().draw(&p, QPointF(), selections, inside);
}

void ValueText::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    const int at = positionAt(e->position());
    select(e->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
}

void ValueText::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() & Qt::LeftButton)
        select(m_anchor, positionAt(e->position()));
}

void ValueText::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    // A value's word runs between blanks: "45°30'12.5"" is taken whole.
    const int at = positionAt(e->position());
    int start = at;
    int end = at;
    while (start > 0 && !m_text.at(start - 1).isSpace())
        --start;
    while (end < m_text.size() && !m_text.at(end).isSpace())
        ++end;
    if (start == end)
        selectAll();
    else
        select(start, end);
}

void ValueText::keyPressEvent(QKeyEvent *e)
{
    if (e->matches(QKeySequence::Copy))
        copy();
    else if (e->matches(QKeySequence::SelectAll))
        selectAll();
    else
        QWidget::keyPressEvent(e);
}

void ValueText::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu menu(this);
    menu.addAction(tr("&Copy"), this, [this] { copy(); });
    menu.addAction(tr("Select &All"), this, [this] { selectAll(); });
    menu.exec(e->globalPos());
}

void ValueText::focusOutEvent(QFocusEvent *e)
{
    // One selection in a window at a time; the context menu's popup keeps it.
    if (e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason)
        select(0, 0);
    QWidget::focusOutEvent(e);
}
