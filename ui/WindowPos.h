#pragma once

#include <QPoint>

class QWidget;

/// Placement modes of CenterWindowPos.
namespace CenterMode
{
inline constexpr int kScreen = 1;   ///< the primary screen's width and height
inline constexpr int kWorkArea = 3; ///< the desktop's work area (screen less panels)
} // namespace CenterMode

/// Where a window of the given outer size goes: ((areaRight - width) / 2,
/// (areaBottom - height) / 2), signed, rounding toward zero. The area's left and top
/// take no part, so a work area that starts right of a side panel is measured from 0.
QPoint CenteredWindowPoint(int width, int height, int areaRight, int areaBottom);

/// Moves the window, keeping its size, to the middle of the primary screen (mode 1) or
/// of the work area (mode 3) and raises it. Returns false, moving nothing, for a null
/// window, an unknown mode or when there is no screen.
bool CenterWindowPos(QWidget* window, int mode);
