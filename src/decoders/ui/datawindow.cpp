#include "decoders/ui/datawindow.h"

#include "link/gpsmain.h"
#include "widgets/textline.h"
#include "widgets/valuetext.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace {

int charsWidth(const QWidget *w, int chars)
{
    return w->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0')));
}

// A white veil over a drawing, as the sky plot is veiled when its data is old: the
// drawing stays readable but plainly not live. Clicks and the wheel pass through it.
class FadeVeil : public QWidget {
public:
    explicit FadeVeil(QWidget *picture) : QWidget(picture)
    {
        setObjectName(QStringLiteral("FadeVeil"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
        picture->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Resize)
            setGeometry(static_cast<QWidget *>(watched)->rect());
        return false;
    }
    void paintEvent(QPaintEvent *e) override
    {
        QPainter(this).fillRect(e->rect(), QColor(255, 255, 255, 170));
    }
};

} // namespace

DataWindowBase::DataWindowBase(GPS_Main &g, bool *openFlag, const QString &name,
                               const QString &caption, QWidget *parent)
    : QWidget(parent, Qt::Window), m_g(g), m_openFlag(openFlag)
{
    setObjectName(name);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    m_age = new TextLine(this);
    m_age->setObjectName(QStringLiteral("MessageAge"));
    m_age->setEnabled(false);
    m_ageTick.setInterval(1000);
    connect(&m_ageTick, &QTimer::timeout, this, &DataWindowBase::updateMessageAge);
    updateMessageAge();
    Form_Load();
}

DataWindowBase::~DataWindowBase()
{
    // Deleted without being closed (its parent went first): still unload.
    if (m_loaded)
        Form_Unload();
}

void DataWindowBase::Form_Load()
{
    m_loaded = true;
    if (m_openFlag)
        *m_openFlag = true;
}

void DataWindowBase::Form_Unload()
{
    m_loaded = false;
    if (m_openFlag)
        *m_openFlag = false;
    // A closed window lingers until its deletion; it decodes nothing meanwhile.
    m_frames.clear();
}

void DataWindowBase::takeFrames(quint8 type, std::function<void(const Frame &)> show)
{
    if (!m_loaded)
        return;
    m_frames.push_back(m_g.frames().subscribe(type, [this, show = std::move(show)](const Frame &f) {
        ++m_framesTaken;
        show(f);
    }));
}

void DataWindowBase::closeEvent(QCloseEvent *e)
{
    if (m_loaded)
        Form_Unload();
    e->accept();
}

void DataWindowBase::attachAgeLine()
{
    // The windows build their own layouts; the age line goes below whatever they hold.
    if (layout() && layout()->indexOf(m_age) < 0) {
        if (auto *grid = qobject_cast<QGridLayout *>(layout()))
            grid->addWidget(m_age, grid->rowCount(), 0, 1, grid->columnCount());
        else if (auto *box = qobject_cast<QBoxLayout *>(layout()))
            box->addWidget(m_age);
    }
}

bool DataWindowBase::event(QEvent *e)
{
    // Polished before it is first sized: the window's size counts the age line.
    if (e->type() == QEvent::Polish)
        attachAgeLine();
    return QWidget::event(e);
}

void DataWindowBase::showEvent(QShowEvent *e)
{
    attachAgeLine();
    updateMessageAge();
    m_ageTick.start();
    QWidget::showEvent(e);
}

void DataWindowBase::hideEvent(QHideEvent *e)
{
    m_ageTick.stop();
    QWidget::hideEvent(e);
}

void DataWindowBase::updateMessageAge()
{
    // Whole seconds: a message asked for once is not read to the tenth.
    const QString text =
        m_lastMessage
            ? QStringLiteral("Message received %1 s ago")
                  .arg(qMax<qint64>(0, m_g.dataClock().monotonicMs() - *m_lastMessage) / 1000)
            : QStringLiteral("No message received yet");
    m_age->setText(text);
}

void DataWindowBase::Exit_Click()
{
    close();
}

void DataWindowBase::showFields(const Fields &fields)
{
    // A control given the text it already shows returns at once; most fields of a
    // message stay the same from one to the next.
    for (const Field &f : fields)
        showField(f);
}

void DataWindowBase::showField(const Field &f)
{
    if (ValueText *w = m_controls.value(f.name))
        w->setText(f.text);
    else
        qWarning("%s has no control %s", qPrintable(objectName()), qPrintable(f.name));
}

void DataWindowBase::showMessage(const FieldStore &texts)
{
    m_lastMessage = m_g.dataClock().monotonicMs();
    for (const qsizetype i : texts.changed())
        showField(texts.fields().at(i));
    updateMessageAge();
}

void DataWindowBase::showMessage(const Fields &fields)
{
    m_lastMessage = m_g.dataClock().monotonicMs();
    showFields(fields);
    updateMessageAge();
}

void DataWindowBase::messageArrived()
{
    m_lastMessage = m_g.dataClock().monotonicMs();
    updateMessageAge();
}

void DataWindowBase::setStale(bool stale)
{
    if (stale == m_staleLook)
        return;
    m_staleLook = stale;
    const QPalette::ColorGroup group = stale ? QPalette::Disabled : QPalette::Active;
    for (ValueText *w : std::as_const(m_controls)) {
        QPalette p = w->palette();
        p.setColor(QPalette::Text, palette().color(group, QPalette::Text));
        p.setColor(QPalette::WindowText, palette().color(group, QPalette::WindowText));
        w->setPalette(p);
    }
    for (QWidget *veil : std::as_const(m_fades)) {
        veil->setGeometry(veil->parentWidget()->rect());
        veil->raise();
        veil->setVisible(stale);
    }
}

void DataWindowBase::clearReceiver()
{
    for (const Field &f : m_texts.fields())
        if (ValueText *w = m_controls.value(f.name))
            w->clear();
    m_texts = FieldStore();
    m_lastMessage.reset();
    updateMessageAge();
}

void DataWindowBase::fadeWhenStale(QWidget *picture)
{
    auto *veil = new FadeVeil(picture);
    veil->setVisible(m_staleLook);
    m_fades.append(veil);
}

void DataWindowBase::registerControl(ValueText *w, const QString &name)
{
    w->setObjectName(name);
    m_controls.insert(name, w);
}

ValueText *DataWindowBase::addLabel(const QString &name, const QString &text)
{
    // Decoded texts carry meaningful blanks (" 45°30", "  0"); no markup reading.
    auto *l = new ValueText(this);
    l->setText(text);
    registerControl(l, name);
    return l;
}

ValueText *DataWindowBase::addCell(const QString &name, int chars)
{
    ValueText *l = addLabel(name);
    l->setFrame(ValueText::Frame::Panel);
    l->setWidthInChars(chars);
    l->setMinimumWidth(charsWidth(l, chars) + 6);
    return l;
}

ValueText *DataWindowBase::addTextBox(const QString &name, int chars)
{
    ValueText *box = addLabel(name);
    box->setFrame(ValueText::Frame::Box);
    box->setWidthInChars(chars);
    box->setFixedWidth(charsWidth(box, chars) + 12);
    return box;
}

ValueText *DataWindowBase::addRawHexBox(const QString &name, int bytesPerLine, int lines)
{
    ValueText *box = addLabel(name);
    box->setFrame(ValueText::Frame::Box);
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box->setWrapped(lines);
    const QFontMetrics metrics = box->fontMetrics();
    // The room a text box with its margins, its frame and a scroll bar took around its
    // lines, so that the windows keep their shape.
    const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int extra = 2 * 4 + 2 * frame + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    box->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00 ").repeated(bytesPerLine)) +
                         extra);
    box->setFixedHeight(metrics.lineSpacing() * lines + extra);
    return box;
}

ValueText *DataWindowBase::addRawHexLabel(const QString &name)
{
    ValueText *l = addLabel(name);
    l->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    l->setWrapped(0);
    return l;
}

QPushButton *DataWindowBase::addButton(const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLabel *DataWindowBase::caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, this);
    label->setBuddy(buddy);
    return label;
}
