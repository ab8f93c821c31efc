#pragma once

#include "LaserPointer.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <memory>

class LaserDotSurface;
class QTimer;

// The laser pointer: where its dot is, its colour, size and visibility. The
// dot is drawn on the desktop backend's LaserDotSurface (above full-screen
// slide shows, raised again twice a second while shown, never taking the
// keyboard focus); the surface is made, with a kInitialSize red round dot
// centred on the screen, the first time it is needed and lives as long as
// its controller. Where the session offers no surface the state is still
// kept, and nothing shows. The alpha is the visible state: 1 shown, 0 taken
// off the screen for real (most X desktops do not honour window opacity).
// Main thread only.
//
// Coordinates: the phone's moves have y growing downwards, as Qt's screen
// coordinates do, so a move adds (dx, dy) to the window's corner. The bounds
// of a move are those of a desktop whose y grows upwards from the bottom of
// the screen and whose windows are placed by their bottom-left corner: that
// corner may not go left of the screen or below it, nor reach its right or
// top edge (it stops one point short), while the dot itself may reach past
// the right and top edges by up to its own size. A new size keeps the
// bottom-left corner in place.
class LightCtl : public LaserPointer {
public:
    LightCtl();
    ~LightCtl() override;
    LightCtl(const LightCtl&) = delete;
    LightCtl& operator=(const LightCtl&) = delete;

    void show() override;
    void hide() override;
    void alphaSwitch() override;
    void move(float dx, float dy) override;
    void lightColor(int rgb, float alpha, bool show) override;
    void lightSize(int width, int height, bool show) override;

    // The window's alpha; 0 hides the window, anything above shows it at
    // that opacity where a compositor honours it.
    double alpha() const { return windowAlpha; }
    void setAlpha(double alpha);

    // The dot's surface, null until first needed (and where the session
    // has none).
    LaserDotSurface* surface() const { return dot.get(); }
    // The dot's rectangle on the desktop, its fill and its corner radius.
    QRect geometry() const;
    QColor color() const { return fill; }
    double cornerRadius() const { return radius; }

    // Largest width or height of the dot, in points: a larger one would
    // only cost memory.
    static constexpr int kMaxSize = 2048;
    // The dot's side before the phone sets a size.
    static constexpr int kInitialSize = 24;
    // How often a shown pointer is raised above windows stacked over it.
    static constexpr int kRaiseIntervalMs = 500;

private:
    // Makes the surface the first time; true once made (even where the
    // session has no surface to show it on).
    void load();
    // Puts the dot at the (fractional) corner, rounded to whole points.
    void place();

    bool loaded = false;
    std::unique_ptr<LaserDotSurface> dot;
    std::unique_ptr<QTimer> raiseTimer;
    QPointF topLeft; // the dot's corner, Qt coordinates
    QSize size{kInitialSize, kInitialSize};
    QColor fill = Qt::red;
    double radius = kInitialSize / 2.0;
    double windowAlpha = 1.0;
};
