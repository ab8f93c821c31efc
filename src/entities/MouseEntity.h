#pragma once

#include <atomic>

// Pointer gestures from the phone: presses, clicks, relative moves, drags and
// scrolling, posted as mouse events at the current pointer position.
class MouseEntity {
public:
    MouseEntity() = delete;

    // True while a left press from the phone holds the button down.
    static std::atomic<bool> bLeftBtnDown;

    static void LeftSingleTap(int action); // 0 press, 1 release, 2 click
    static void LeftDoubleTap();
    static void LeftThreeTap();
    static void RightSingleTap(int action);
    static void Move(float dx, float dy);
    static void Drag(float dx, float dy);
    static void ScrollWheelMove(int h, int v);
};
