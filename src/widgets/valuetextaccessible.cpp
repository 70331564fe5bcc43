#include "widgets/valuetextaccessible.h"

#include "widgets/valuetext.h"

#include <QAccessibleWidget>
#include <chrono>

namespace {

// A value given ten times a second is read out at most once a second.
constexpr qint64 kAnnounceMs = 1000;

class ValueTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ValueTextAccessible(ValueText *w) : QAccessibleWidget(w, QAccessible::StaticText) {}

    ValueText *control() const { return static_cast<ValueText *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The name comes from the base: the accessible name, else the buddy label's text.
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return control()->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.selectableText = true;
        return s;
    }

    void selection(int index, int *start, int *end) const override
    {
        const bool any = index == 0 && control()->hasSelectedText();
        *start = any ? control()->selectionStart() : 0;
        *end = any ? control()->selectionEnd() : 0;
    }
    int selectionCount() const override { return control()->hasSelectedText() ? 1 : 0; }
    // One selection at most, as in a read-only text box: a new one replaces it.
    void addSelection(int start, int end) override { control()->select(start, end); }
    void removeSelection(int) override
    {
        control()->select(control()->cursorPosition(), control()->cursorPosition());
    }
    void setSelection(int, int start, int end) override { control()->select(start, end); }

    int cursorPosition() const override { return control()->cursorPosition(); }
    void setCursorPosition(int position) override { control()->select(position, position); }

    QString text(int start, int end) const override
    {
        return control()->text().mid(start, end - start);
    }
    int characterCount() const override { return int(control()->text().size()); }
    QRect characterRect(int offset) const override
    {
        const QRect r = control()->characterRect(offset);
        return r.isNull() ? r : r.translated(control()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = control()->mapFromGlobal(point);
        return control()->rect().contains(local) ? control()->positionAt(local) : -1;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return {};
    }
};

} // namespace

QAccessibleInterface *valueTextAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("ValueText") && object && object->isWidgetType())
        return new ValueTextAccessible(static_cast<ValueText *>(object));
    return nullptr;
}

bool Announcer::listening() const
{
    return QAccessible::isActive();
}

qint64 Announcer::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Announcer::wakeIn(int ms)
{
    if (!m_timer.isSingleShot()) {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Announcer::woke);
    }
    m_timer.start(ms);
}

void Announcer::send(QAccessibleEvent *event)
{
    QAccessible::updateAccessibility(event);
}

void Announcer::tell(QWidget *control, const QString &text)
{
    QAccessibleValueChangeEvent value(control, text);
    send(&value);
    // The reader replaces what it was told last with the new text.
    QAccessibleTextUpdateEvent update(control, 0, m_told, text);
    send(&update);
    m_told = text;
}

void ValueText::setAnnouncer(Announcer *announcer)
{
    delete m_announcer;
    m_announcer = announcer;
    m_announcer->setParent(this);
    m_held = false;
    m_announced = false;
    connect(m_announcer, &Announcer::woke, this, [this] {
        if (!m_held)
            return;
        m_held = false;
        announce();
    });
}

void ValueText::announce()
{
    // Nothing is made or timed while no screen reader listens.
    const bool listening = m_announcer ? m_announcer->listening() : QAccessible::isActive();
    // A hidden control has no focus (Qt moves it on); a minimised window keeps its focus
    // widget, but nobody is looking at it.
    if (!listening || !hasFocus() || window()->isMinimized())
        return;
    if (!m_announcer)
        setAnnouncer(new Announcer);
    const qint64 now = m_announcer->nowMs();
    const qint64 due = m_lastAnnounced + kAnnounceMs;
    if (m_announced && now < due) {
        if (!m_held)
            m_announcer->wakeIn(int(due - now));
        m_held = true;
        return;
    }
    m_announced = true;
    m_lastAnnounced = now;
    m_announcer->tell(this, m_text);
}
