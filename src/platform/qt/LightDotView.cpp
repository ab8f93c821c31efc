#include "LightDotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

LightDotView::LightDotView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void LightDotView::setColor(const QColor& color)
{
    fill = color;
    update();
}

void LightDotView::setCornerRadius(double cornerRadius)
{
    radius = cornerRadius;
    update();
}

double LightDotView::drawnRadius() const
{
    return std::clamp(radius, 0.0, std::min(width(), height()) / 2.0);
}

QRegion LightDotView::shape() const
{
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), drawnRadius(), drawnRadius());
    return QRegion(path.toFillPolygon().toPolygon());
}

void LightDotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    // Exactly the pixels of the shape that the window is cut to: smoothed
    // edges would show dark where no compositor blends them.
    painter.setClipRegion(shape());
    painter.fillRect(rect(), fill);
}

void LightDotView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging = true;
    grabOffset = event->globalPosition().toPoint() - window()->pos();
}

void LightDotView::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging)
        window()->move(event->globalPosition().toPoint() - grabOffset);
}

void LightDotView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging || event->button() != Qt::LeftButton)
        return;
    dragging = false;
    if (onDragged)
        onDragged();
}
