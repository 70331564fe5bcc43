#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

// The layouts are designed in twips (1/1440 inch); on screen they take the
// widget's logical DPI, so they scale with the user's display settings.
int twipsToPixels(int twips, const QWidget *w);
int pixelsToTwips(int pixels, const QWidget *w);
QRect twipsRect(int left, int top, int width, int height, const QWidget *w);

class QLabel;
// A design box drawn for a narrower face than the desktop's: the label's font is made
// semi-condensed and then smaller (down to 6.5 points) until its one-line text fits.
void shrinkFontToFit(QLabel *label, int widthPixels);

class ValueText;
// The same for a one-line text box whose text changes: each time from the design
// font, so that a shorter text gets the full size back.
void shrinkFontToFit(ValueText *box, const QFont &designFont);

// shrinkFontToFit for a box whose text changes often but keeps its shape, as a time
// does: measuring a text costs as much as showing it, so the box is fitted again only
// when the text's shape (its characters with every digit as 0), the box's width or the
// font changes. Only where the design font's digits are all as wide; otherwise each
// text is measured.
class TextFitter {
public:
    void fit(ValueText *box, const QFont &designFont);

private:
    QString m_shape;
    QFont m_design;
    QFont m_chosen;
    int m_width = -1;
    bool m_tabularDigits = false;
};
