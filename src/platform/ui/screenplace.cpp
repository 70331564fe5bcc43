#include "platform/ui/screenplace.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

QRect placeBeside(QSize size, const QMargins &frame, const QRect &anchor, const QRect &available)
{
    const QSize room = available.size().shrunkBy(frame);
    const QSize client = size.boundedTo(room.expandedTo(QSize(1, 1)));
    QRect outer(QPoint(), client.grownBy(frame));
    const bool rightFits = anchor.right() + outer.width() <= available.right();
    outer.moveTopLeft(
        QPoint(rightFits ? anchor.right() + 1 : anchor.left() - outer.width(), anchor.top()));
    // Pulled in from the right and bottom first, so that a window larger than the area
    // keeps its title bar and left edge on it.
    outer.moveRight(std::min(outer.right(), available.right()));
    outer.moveBottom(std::min(outer.bottom(), available.bottom()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    outer.moveTop(std::max(outer.top(), available.top()));
    return outer.marginsRemoved(frame);
}

void placeOnScreen(QWidget *window, const QWidget *anchor)
{
    const bool anchored = anchor && anchor->isVisible();
    const QScreen *screen = anchored ? anchor->screen() : window->screen();
    if (!screen)
        return;
    // The window manager frames our windows alike: the main window's frame is the
    // best guess at one that is not drawn yet.
    const QRect anchorFrame = anchored ? anchor->frameGeometry() : QRect();
    const QMargins frame = anchored ? QMargins(anchor->geometry().left() - anchorFrame.left(),
                                               anchor->geometry().top() - anchorFrame.top(),
                                               anchorFrame.right() - anchor->geometry().right(),
                                               anchorFrame.bottom() - anchor->geometry().bottom())
                                    : QMargins();
    const QRect available = screen->availableGeometry();
    window->ensurePolished();
    window->adjustSize();
    const QRect client =
        placeBeside(window->size(), frame,
                    anchored ? anchorFrame : QRect(available.topLeft(), QSize(0, 0)), available);
    window->resize(client.size());
    // A window's position is its frame's.
    window->move(client.topLeft() - QPoint(frame.left(), frame.top()));
}
