#pragma once

// Pixel scrolling of one axis as wheel clicks of kPixelsPerClick pixels;
// what is left over waits for the next scroll of the axis.
class WheelClicks {
public:
    static constexpr int kPixelsPerClick = 40;
    // Clicks sent for one scroll at most; a larger scroll is cut there.
    static constexpr int kMaxClicks = 200;

    // The whole clicks that `pixels` more make, negative for the negative
    // direction, at most kMaxClicks either way.
    int add(int pixels);
    void reset() { remainder = 0; }

private:
    int remainder = 0;
};
