#include "PayloadBudget.h"

PayloadBudget::PayloadBudget(long long totalBytes) : total(totalBytes) {}

bool PayloadBudget::Take(long long bytes)
{
    std::lock_guard lock(mutex);
    if (bytes < 0 || bytes > total - taken)
        return false;
    taken += bytes;
    return true;
}

void PayloadBudget::Give(long long bytes)
{
    std::lock_guard lock(mutex);
    taken -= bytes;
}

void PayloadBudget::SetTotal(long long totalBytes)
{
    std::lock_guard lock(mutex);
    total = totalBytes;
}

long long PayloadBudget::Left()
{
    std::lock_guard lock(mutex);
    return total - taken;
}
