#include "WheelClicks.h"

#include <algorithm>

int WheelClicks::add(int pixels)
{
    const long long total = static_cast<long long>(remainder) + pixels;
    const long long clicks = total / kPixelsPerClick;
    remainder = static_cast<int>(total - clicks * kPixelsPerClick);
    return static_cast<int>(std::clamp<long long>(clicks, -kMaxClicks, kMaxClicks));
}
