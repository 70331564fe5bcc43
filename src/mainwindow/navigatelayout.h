#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <limits>

// Where the main window's controls sit, in twips of its client area.
struct ControlPlace {
    QString name;
    QRect twips;
    bool operator==(const ControlPlace &) const = default;
};

enum class WindowShape { Normal, Minimized, Maximized };

// The result of laying the main window out for a size the user or the system asked for.
struct NavigateLayout {
    // False for a minimised window: nothing is moved or resized.
    bool apply = false;
    // The outer size the window is to have, in twips.
    QSize outer;
    // Picture1 first, then ErrorDis, the status boxes and the labels Label1(1..6).
    QList<ControlPlace> controls;
};

inline constexpr int kNavigateMinWidth = 5200;

// The resize rules: at least 5200 twips wide; a normal window as high as it is wide
// less 2300; a maximised one keeps its height and width (the system gave it them);
// the plot is square, width less 3000, and in a maximised window no higher than its
// client area (clientHeight, in twips) so that none of the sky is cut off; the status
// panel follows the right edge. Running the rules on their own result changes nothing.
NavigateLayout layoutNavigate(QSize outerTwips, WindowShape shape,
                              int clientHeight = std::numeric_limits<int>::max());

// The controls at their design places (outer width 6320).
QList<ControlPlace> designPlaces();
