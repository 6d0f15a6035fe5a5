#include "ui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const qreal unit = size / 64.0;
    const QRectF tile(2 * unit, 2 * unit, 60 * unit, 60 * unit);
    QLinearGradient ground(tile.topLeft(), tile.bottomRight());
    ground.setColorAt(0.0, QColor(0x13, 0xa3, 0xa0));
    ground.setColorAt(1.0, QColor(0x0f, 0x6e, 0x78));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ground);
    painter.drawRoundedRect(tile, 13 * unit, 13 * unit);

    QPainterPath chevron;
    chevron.moveTo(17 * unit, 41 * unit);
    chevron.lineTo(32 * unit, 23 * unit);
    chevron.lineTo(47 * unit, 41 * unit);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 6 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
    return pixmap;
}
} // namespace

QIcon HalvornIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}
