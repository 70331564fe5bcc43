#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// Where a window first opens: its frame (client `size` plus the window manager's
// `frame` margins) beside `anchor` (the main window's frame), on its right if there
// is room and else on its left, top edges level; then moved, and shrunk if it is
// larger, until it lies wholly within `available`. The result is the client area.
QRect placeBeside(QSize size, const QMargins &frame, const QRect &anchor, const QRect &available);

// Gives a window that is about to be shown for the first time its size and place by
// placeBeside, on the available area of the screen `anchor` is on.
void placeOnScreen(QWidget *window, const QWidget *anchor);
