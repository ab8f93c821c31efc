#pragma once

#include <chrono>

// Paces an action: up to `burst` at once, then `perSecond` on average.
// Not synchronised: one thread uses it, or its owner locks around it.
class TokenBucket {
public:
    TokenBucket(int burst, int perSecond);

    // Whether the action may happen now; takes one token when it may.
    bool Take();

private:
    using Clock = std::chrono::steady_clock;

    double burst;
    double perSecond;
    double tokens;
    Clock::time_point last;
};
