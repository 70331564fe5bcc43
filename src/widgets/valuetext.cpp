#include "widgets/valuetext.h"

#include "widgets/valuetextaccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <cmath>
#include <qdrawutil.h>

namespace {

// The width the control asks for when it is wrapped and given no width in digits.
constexpr int kWrappedChars = 40;

// The keys that move the cursor or the end of the selection: a new end, or -1.
int keyTarget(const QKeyEvent *key, int cursor, int end)
{
    if (key->matches(QKeySequence::SelectNextChar) || key->matches(QKeySequence::MoveToNextChar))
        return qMin(cursor + 1, end);
    if (key->matches(QKeySequence::SelectPreviousChar) ||
        key->matches(QKeySequence::MoveToPreviousChar))
        return qMax(cursor - 1, 0);
    if (key->matches(QKeySequence::SelectStartOfLine) ||
        key->matches(QKeySequence::SelectStartOfDocument) ||
        key->matches(QKeySequence::MoveToStartOfLine) ||
        key->matches(QKeySequence::MoveToStartOfDocument))
        return 0;
    if (key->matches(QKeySequence::SelectEndOfLine) ||
        key->matches(QKeySequence::SelectEndOfDocument) ||
        key->matches(QKeySequence::MoveToEndOfLine) ||
        key->matches(QKeySequence::MoveToEndOfDocument))
        return end;
    return -1;
}

} // namespace

ValueText::ValueText(QWidget *parent) : QWidget(parent)
{
    // Qt keeps each factory once, however many controls ask.
    QAccessible::installFactory(valueTextAccessible);
    choosePainting();
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
}

void ValueText::setText(const QString &text)
{
    if (text == m_text)
        return;
    // Only a size asked for from the text itself can make the window lay itself out
    // again; the others leave the layout to the next paint.
    // A control placed by hand (no layout in its parent) is asked for no size.
    const bool laidOut = parentWidget() && parentWidget()->layout();
    const bool sizedByText =
        laidOut && ((m_chars == 0 && !m_wrapped) || (m_wrapped && m_lines == 0));
    const QSize before = sizedByText ? sizeHint() : QSize();
    m_text = text;
    m_anchor = m_cursor = 0;
    relayout();
    if (sizedByText && sizeHint() != before)
        updateGeometry();
    update();
    announce();
    emit textChanged(m_text);
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
    return m_text.mid(selectionStart(), selectionEnd() - selectionStart());
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
    const int end = int(m_text.size());
    anchor = qBound(0, anchor, end);
    cursor = qBound(0, cursor, end);
    if (anchor == m_anchor && cursor == m_cursor)
        return;
    const bool wasSelected = hasSelectedText();
    m_anchor = anchor;
    m_cursor = cursor;
    if (wasSelected || hasSelectedText())
        update();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent changed(this, selectionStart(), selectionEnd());
        changed.setCursorPosition(m_cursor);
        QAccessible::updateAccessibility(&changed);
    }
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

QRect ValueText::characterRect(int index) const
{
    const QTextLine line = layout().lineForTextPosition(index);
    if (!line.isValid() || index >= m_text.size())
        return {};
    const qreal x = line.cursorToX(index);
    const QRectF r(x, line.y(), line.cursorToX(index + 1) - x, line.height());
    return r.translated(layout().position()).toAlignedRect();
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
    else if (layout().lineCount() > 0)
        width = int(std::ceil(layout().lineAt(0).naturalTextWidth()));
    const int height = m_wrapped ? metrics.lineSpacing() * qMax(1, lines) : metrics.height();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

QSize ValueText::sizeHint() const
{
    return hintFor(m_wrapped && m_lines == 0 ? layout().lineCount() : m_lines);
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
        return hintFor(layout().lineCount()).height();
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
    // The one place the text is laid out: painting, sizes and hit testing use it, and its
    // cache keeps the shaped glyphs from one paint to the next.
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
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) ||
            keyTarget(key, m_cursor, int(m_text.size())) >= 0) {
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
    if (e->type() == QEvent::FontChange)
        relayout();
    else if (e->type() == QEvent::ParentChange)
        choosePainting();
    QWidget::changeEvent(e);
}

void ValueText::resizeEvent(QResizeEvent *e)
{
    relayout();
    QWidget::resizeEvent(e);
}

void ValueText::paintEvent(QPaintEvent *)
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
    p.save();
    // Where the pixel ratio is fractional the margin's edge falls within a device pixel:
    // the text is cut at the whole pixels inside it, so a glyph past the edge leaves no trace.
    const QTransform toDevice = p.deviceTransform();
    const QRectF edges = toDevice.mapRect(QRectF(inside));
    p.setClipRect(toDevice.inverted().mapRect(
        QRectF(QPointF(std::ceil(edges.left()), std::ceil(edges.top())),
               QPointF(std::floor(edges.right()), std::floor(edges.bottom())))));
    p.setPen(pal.color(m_frame == Frame::Box ? QPalette::Text : QPalette::WindowText));
    QList<QTextLayout::FormatRange> selections;
    if (hasSelectedText()) {
        QTextLayout::FormatRange range;
        range.start = selectionStart();
        range.length = selectionEnd() - selectionStart();
        range.format.setBackground(pal.highlight());
        range.format.setForeground(pal.highlightedText());
        selections.append(range);
    }
    layout().draw(&p, QPointF(), selections, inside);
    p.restore();
    if (m_showFocus && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = frameInside;
        focus.backgroundColor =
            pal.color(m_frame == Frame::Box ? QPalette::Base : QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
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
    const int target = keyTarget(e, m_cursor, int(m_text.size()));
    if (e->matches(QKeySequence::Copy))
        copy();
    else if (e->matches(QKeySequence::SelectAll))
        selectAll();
    else if (target >= 0 && (e->modifiers() & Qt::ShiftModifier))
        select(m_anchor, target);
    else if (target >= 0)
        select(target, target);
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

void ValueText::focusInEvent(QFocusEvent *e)
{
    // The frame shows where Tab brought the user; a click shows where it is by itself.
    const Qt::FocusReason reason = e->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason)
        m_showFocus = true;
    else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        m_showFocus = false;
    update();
    QWidget::focusInEvent(e);
}

void ValueText::focusOutEvent(QFocusEvent *e)
{
    // One selection in a window at a time; the context menu's popup keeps it.
    if (e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason) {
        select(0, 0);
        m_showFocus = false;
    }
    update();
    QWidget::focusOutEvent(e);
}
