#include "datawindow.h"

#include "link/gpsmain.h"
#include "platform/textline.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>

namespace {

int charsWidth(const QWidget *w, int chars)
{
    return w->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0')));
}

} // namespace

DataWindowBase::DataWindowBase(GPS_Main &g, bool &openFlag, const QString &name,
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
    m_openFlag = true;
}

void DataWindowBase::Form_Unload()
{
    m_loaded = false;
    m_openFlag = false;
}

void DataWindowBase::closeEvent(QCloseEvent *e)
{
    if (m_loaded)
        Form_Unload();
    e->accept();
}

void DataWindowBase::showEvent(QShowEvent *e)
{
    // The windows build their own layouts; the age line goes below whatever they hold.
    if (layout() && layout()->indexOf(m_age) < 0) {
        if (auto *grid = qobject_cast<QGridLayout *>(layout()))
            grid->addWidget(m_age, grid->rowCount(), 0, 1, grid->columnCount());
        else if (auto *box = qobject_cast<QBoxLayout *>(layout()))
            box->addWidget(m_age);
    }
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
    const QString text = m_lastMessage
                             ? QStringLiteral("Message received %1 s ago")
                                   .arg((m_g.clock().monotonicMs() - *m_lastMessage) / 1000)
                             : QStringLiteral("No message received yet");
    m_age->setText(text);
}

void DataWindowBase::Exit_Click()
{
    close();
}

void DataWindowBase::showFields(const Fields &fields)
{
    // A box given the text it already shows would lay it out and paint it again for
    // nothing; most fields of a message stay the same from one to the next.
    for (const Field &f : fields)
        showField(f);
}

void DataWindowBase::showField(const Field &f)
{
    QWidget *w = m_controls.value(f.name);
    if (auto *label = qobject_cast<QLabel *>(w)) {
        label->setText(f.text);
    } else if (auto *box = qobject_cast<QLineEdit *>(w)) {
        if (box->text() != f.text) {
            box->setText(f.text);
            // A text longer than its box shows its beginning, as in the main window.
            box->setCursorPosition(0);
        }
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(w)) {
        text->setPlainText(f.text);
    } else {
        qWarning("%s has no control %s", qPrintable(objectName()), qPrintable(f.name));
    }
}

void DataWindowBase::showMessage(const FieldStore &texts)
{
    m_lastMessage = m_g.clock().monotonicMs();
    for (const qsizetype i : texts.changed())
        showField(texts.fields().at(i));
    updateMessageAge();
}

void DataWindowBase::showMessage(const Fields &fields)
{
    m_lastMessage = m_g.clock().monotonicMs();
    showFields(fields);
    updateMessageAge();
}

void DataWindowBase::registerControl(QWidget *w, const QString &name)
{
    w->setObjectName(name);
    m_controls.insert(name, w);
}

QLabel *DataWindowBase::addLabel(const QString &name, const QString &text)
{
    auto *l = new QLabel(text, this);
    // Decoded texts carry meaningful blanks (" 45°30", "  0"); no markup reading.
    l->setTextFormat(Qt::PlainText);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    registerControl(l, name);
    return l;
}

QLabel *DataWindowBase::addCell(const QString &name, int chars)
{
    QLabel *l = addLabel(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(charsWidth(l, chars) + 6);
    return l;
}

QLineEdit *DataWindowBase::addTextBox(const QString &name, int chars)
{
    auto *box = new QLineEdit(this);
    box->setReadOnly(true);
    box->setFixedWidth(charsWidth(box, chars) + 12);
    registerControl(box, name);
    return box;
}

QPlainTextEdit *DataWindowBase::addRawHexBox(const QString &name, int bytesPerLine, int lines)
{
    auto *box = new QPlainTextEdit(this);
    box->setReadOnly(true);
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box->setWordWrapMode(QTextOption::WordWrap);
    const QFontMetrics metrics = box->fontMetrics();
    // Room for the margins, the frame and a scroll bar should the font be wider than thought.
    const int extra = 2 * int(box->document()->documentMargin()) + 2 * box->frameWidth() +
                      box->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    box->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00 ").repeated(bytesPerLine)) +
                         extra);
    box->setFixedHeight(metrics.lineSpacing() * lines + extra);
    registerControl(box, name);
    return box;
}

QLabel *DataWindowBase::addRawHexLabel(const QString &name)
{
    QLabel *l = addLabel(name);
    l->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    l->setWordWrap(true);
    return l;
}

QPushButton *DataWindowBase::addButton(const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLabel *DataWindowBase::caption(const QString &text)
{
    return new QLabel(text, this);
}
