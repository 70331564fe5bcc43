#pragma once

#include <QRect>

class QWidget;

// The layouts are designed in twips (1/1440 inch); on screen they take the
// widget's logical DPI, so they scale with the user's display settings.
int twipsToPixels(int twips, const QWidget *w);
int pixelsToTwips(int pixels, const QWidget *w);
QRect twipsRect(int left, int top, int width, int height, const QWidget *w);
