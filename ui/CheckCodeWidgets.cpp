#include "ui/CheckCodeWidgets.h"

#include <QColor>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <array>

QValidator::State CUpperCaseValidator::validate(QString& input, int& /*position*/) const
{
    // Character by character, so the length (and the cursor) never changes.
    for (QChar& ch : input)
        ch = ch.toUpper();
    return Acceptable;
}

CCheckCodeLabel::CCheckCodeLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("看不清？点击换一个"));
    setAlignment(Qt::AlignCenter);
}

void CCheckCodeLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void CCheckCodeLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    // Seeded from the code, so the same code is drawn the same way every time.
    const QString code = text();
    QRandomGenerator noise(static_cast<quint32>(qHash(code)) ^ 0x5eed1234u);

    QPainterPath frame;
    frame.addRoundedRect(area, 5, 5);
    painter.setClipPath(frame);

    QLinearGradient ground(area.topLeft(), area.bottomRight());
    ground.setColorAt(0.0, QColor(0xe3, 0xf3, 0xf2));
    ground.setColorAt(1.0, QColor(0xe6, 0xec, 0xf7));
    painter.fillPath(frame, ground);

    // Diagonal stripes.
    painter.setPen(QPen(QColor(0x13, 0xa3, 0xa0, 38), 3));
    for (int x = -static_cast<int>(area.height()); x < area.width(); x += 9)
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x + area.height(), area.top()));

    // Speckles.
    for (int i = 0; i < 60; ++i) {
        const QColor dot = QColor::fromHsv(noise.bounded(180, 240), 90, 150, 110);
        painter.setPen(QPen(dot, 1.2));
        painter.drawPoint(QPointF(noise.bounded(area.width()), noise.bounded(area.height())));
    }

    // The letters: each its own colour, tilt and height.
    static const std::array<QColor, 5> inks = {QColor(0x12, 0x3a, 0x63), QColor(0x0e, 0x84, 0x81),
                                               QColor(0x6a, 0x3d, 0x9a), QColor(0x1d, 0x5a, 0x96),
                                               QColor(0xa0, 0x52, 0x1c)};
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    font.setPixelSize(qMax(10, static_cast<int>(area.height() * 0.72)));
    painter.setFont(font);
    const qreal cell = code.isEmpty() ? 0.0 : (area.width() - 12.0) / code.size();
    for (int i = 0; i < code.size(); ++i) {
        painter.save();
        const qreal cx = 6.0 + cell * (i + 0.5);
        const qreal cy = area.center().y() + noise.bounded(5) - 2;
        painter.translate(cx, cy);
        painter.rotate(noise.bounded(25) - 12);
        painter.setPen(inks[static_cast<std::size_t>(i) % inks.size()]);
        painter.drawText(QRectF(-cell / 2 - 4, -area.height() / 2, cell + 8, area.height()),
                         Qt::AlignCenter, code.mid(i, 1));
        painter.restore();
    }

    // Two thin interference curves across the letters.
    for (int i = 0; i < 2; ++i) {
        QPainterPath curve;
        curve.moveTo(0, noise.bounded(area.height()));
        curve.cubicTo(area.width() * 0.33, noise.bounded(area.height()), area.width() * 0.66,
                      noise.bounded(area.height()), area.width(), noise.bounded(area.height()));
        painter.setPen(QPen(QColor(0x1d, 0x5a, 0x96, 90), 1.1));
        painter.drawPath(curve);
    }

    painter.setClipping(false);
    painter.setPen(QPen(QColor(0x9f, 0xb8, 0xd2), 1));
    painter.drawPath(frame);
}
