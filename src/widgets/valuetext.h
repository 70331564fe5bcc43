#pragma once

#include <QGlyphRun>
#include <QRawFont>
#include <QString>
#include <QTextLayout>
#include <QWidget>

// One read-only plain text, shaped once per change and painted from that shape. The
// same text again costs a comparison; a new one, one layout and a repaint of the control
// alone: no document, no cursor, no relayout of the window unless the size it asks for
// changes. The user can still select the text with the mouse and copy it.
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
    QString selectedText() const;
    void selectAll();
    // The selection, or the whole text where nothing is selected, to the clipboard.
    void copy() const;

    // The room inside the frame and the margins, in pixels.
    QRect textRect() const;

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
    void focusOutEvent(QFocusEvent *e) override;

private:
    QMargins textMargins() const;
    QSize hintFor(int lines) const;
    int lineCount() const;
    // The text shaped for the control's current size and font, shaped again only after
    // a change: texts given faster than the screen shows them are not shaped at all.
    const QTextLayout &layout() const;
    // A text of common Latin characters that the font has, as glyphs placed one after the
    // other (and broken after blanks when wrapped): no shaping at all. Null for a text that
    // needs the layout.
    const QGlyphRun *glyphRun() const;
    qreal textWidth() const;
    // Where the first line of glyphs starts, on its baseline.
    QPointF runOrigin() const;
    // The part of the control to paint again when the glyphs `old`, drawn at `oldOrigin`,
    // give way to the current ones.
    QRegion changedSince(const QGlyphRun &old, QPointF oldOrigin) const;
    // The glyphs that may reach into `area`, for a paint of part of the control.
    QGlyphRun glyphsWithin(const QRect &area, QPointF origin) const;
    void relayout() { m_stale = m_glyphsStale = true; }
    void choosePainting();
    int positionAt(QPointF point) const;
    void select(int anchor, int cursor);

    QString m_text;
    mutable QTextLayout m_layout;
    mutable bool m_stale = true;
    mutable QRawFont m_rawFont;
    mutable bool m_rawFontStale = true;
    mutable QGlyphRun m_run;
    mutable qreal m_lineSpacing = 0;
    mutable qreal m_runWidth = 0;    // the advances: what alignment uses
    mutable qreal m_runInkWidth = 0; // with the ink past the last advance: what sizes use
    mutable int m_runLines = 1;
    mutable bool m_hasRun = false;
    mutable bool m_glyphsStale = true;
    Frame m_frame = Frame::None;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    int m_chars = 0;
    bool m_wrapped = false;
    bool m_fillsWindow = true;
    int m_lines = 1;
    int m_anchor = 0;
    int m_cursor = 0;
};
