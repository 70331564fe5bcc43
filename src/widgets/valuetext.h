#pragma once

#include <QString>
#include <QTextLayout>
#include <QWidget>

class Announcer;

// One read-only plain text, laid out once per change and painted from that layout by Qt's
// own text cache. The same text again costs a comparison; a new one, one layout and a
// repaint of the control alone: no document, no cursor, no relayout of the window unless
// the size it asks for changes. The user selects and copies it with the mouse or the
// keyboard, and a screen reader reads it under the name of its caption (the QLabel whose
// buddy it is).
class ValueText : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
public:
    // Panel: a thin sunken line around the text, as a framed label.
    // Box: a sunken box on the base colour, as a read-only text box.
    enum class Frame { None, Panel, Box };

    explicit ValueText(QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    void clear() { setText({}); }

    // Set once, as the control is made.
    void setFrame(Frame frame);
    // Only the horizontal part counts; one line is always centred vertically.
    void setAlignment(Qt::Alignment alignment);
    // The width the control asks for, in digits; 0 asks for the width of its text.
    void setWidthInChars(int chars);
    // Broken at blanks onto lines. `lines` > 0 gives the height in lines; 0 makes it
    // as high as its text needs at the width it is given.
    void setWrapped(int lines);

    bool hasSelectedText() const { return m_anchor != m_cursor; }
    int selectionStart() const { return qMin(m_anchor, m_cursor); }
    int selectionEnd() const { return qMax(m_anchor, m_cursor); }
    int cursorPosition() const { return m_cursor; }
    QString selectedText() const;
    // Clamped to the text; the cursor goes to `cursor`.
    void select(int anchor, int cursor);
    void selectAll();
    // The selection, or the whole text where nothing is selected, to the clipboard.
    void copy() const;

    // The room inside the frame and the margins, in pixels.
    QRect textRect() const;
    // Where the character at `index` is drawn, and the character boundary nearest `point`.
    QRect characterRect(int index) const;
    int positionAt(QPointF point) const;

    // Announcements of a new text go through `announcer` from now on (the control owns it).
    void setAnnouncer(Announcer *announcer);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

signals:
    void textChanged(const QString &text);

protected:
    bool event(QEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    QMargins textMargins() const;
    QSize hintFor(int lines) const;
    // The text laid out for the control's current size and font, laid out again only after
    // a change: texts given faster than the screen shows them are not laid out at all.
    const QTextLayout &layout() const;
    void relayout() { m_stale = true; }
    void choosePainting();
    // Tells a screen reader of the new text: at most once a second, and only while the
    // user is at the control; the latest text goes out when the second is over.
    void announce();

    QString m_text;
    mutable QTextLayout m_layout;
    mutable bool m_stale = true;
    Frame m_frame = Frame::None;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    int m_chars = 0;
    bool m_wrapped = false;
    bool m_fillsWindow = true;
    // The focus came from the keyboard: shown with a focus frame until the focus goes.
    bool m_showFocus = false;
    int m_lines = 1;
    int m_anchor = 0;
    int m_cursor = 0;
    Announcer *m_announcer = nullptr; // made at the first announcement
    qint64 m_lastAnnounced = 0;
    bool m_announced = false;
    bool m_held = false;
};
