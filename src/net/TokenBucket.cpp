#include "TokenBucket.h"

#include <algorithm>

TokenBucket::TokenBucket(int burstSize, int rate)
    : burst(burstSize), perSecond(rate), tokens(burstSize), last(Clock::now())
{
}

bool TokenBucket::Take()
{
    const Clock::time_point now = Clock::now();
    tokens = std::min(burst, tokens + std::chrono::duration<double>(now - last).count() * perSecond);
    last = now;
    if (tokens < 1)
        return false;
    tokens -= 1;
    return true;
}
