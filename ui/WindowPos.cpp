#include "ui/WindowPos.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

QPoint CenteredWindowPoint(int width, int height, int areaRight, int areaBottom)
{
    // C++ integer division already rounds toward zero, as the placement requires.
    return {(areaRight - width) / 2, (areaBottom - height) / 2};
}

bool CenterWindowPos(QWidget* window, int mode)
{
    if (!window)
        return false;
    const QScreen* const screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;

    int areaRight = 0;
    int areaBottom = 0;
    if (mode == CenterMode::kScreen) {
        areaRight = screen->size().width();
        areaBottom = screen->size().height();
    } else if (mode == CenterMode::kWorkArea) {
        const QRect work = screen->availableGeometry();
        // The edges as exclusive coordinates, like a screen rectangle's right and bottom.
        areaRight = work.x() + work.width();
        areaBottom = work.y() + work.height();
    } else {
        return false;
    }

    const QRect outer = window->frameGeometry();
    window->move(CenteredWindowPoint(outer.width(), outer.height(), areaRight, areaBottom));
    window->raise();
    return true;
}
