#pragma once

#include <QColor>
#include <QPoint>
#include <QRegion>
#include <QWidget>
#include <functional>

// The laser pointer's dot: its whole rectangle filled in one colour (alpha
// included) with rounded corners, on a transparent background. Dragging it
// with the mouse moves its window.
class LightDotView : public QWidget {
public:
    explicit LightDotView(QWidget* parent = nullptr);

    QColor color() const { return fill; }
    void setColor(const QColor& color);
    // The corner radius asked for. As with a layer's rounded corners, the
    // drawn radius never exceeds half the shorter side: 60 × 20 with radius
    // 30 draws a capsule with round ends of radius 10.
    double cornerRadius() const { return radius; }
    void setCornerRadius(double cornerRadius);
    // The drawn shape in this view's coordinates.
    QRegion shape() const;

    // Called when the user has dragged the window to a new place.
    std::function<void()> onDragged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double drawnRadius() const;

    QColor fill = Qt::red;
    double radius = 0;
    bool dragging = false;
    QPoint grabOffset; // from the window's corner to the pointer
};
