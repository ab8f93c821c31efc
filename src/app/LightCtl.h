#pragma once

#include "LaserPointer.h"

#include <QPointF>
#include <memory>

class LightDotView;
class QTimer;
class QWidget;
namespace Ui {
class LightCtl;
}

// The laser pointer's window: frameless and translucent, outside the window
// manager's stacking (so above full-screen slide shows, raised again
// twice a second while shown), never taking the keyboard focus, shaped to
// its round dot. Laid out by the interface file "LightCtl"; the window is
// made, centred on the screen, the first time it is needed and lives as
// long as its controller. Its alpha is its visible state: 1 shown, 0 taken
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

    // The window and its dot (contentV), null until first needed.
    QWidget* window() const;
    LightDotView* contentView() const;

    // Largest width or height of the dot, in points: a larger one would
    // only cost memory.
    static constexpr int kMaxSize = 2048;
    // How often a shown pointer is raised above windows stacked over it.
    static constexpr int kRaiseIntervalMs = 500;

private:
    QWidget& load();
    // Puts the window at the (fractional) corner, rounded to whole points.
    void place();
    void updateShape();

    std::unique_ptr<QWidget> win;
    std::unique_ptr<Ui::LightCtl> ui;
    QTimer* raiseTimer = nullptr; // owned by the window
    QPointF topLeft;              // the window's corner, Qt coordinates
    double windowAlpha = 1.0;
};
