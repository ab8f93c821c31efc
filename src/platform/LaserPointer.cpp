#include "LaserPointer.h"

#include <atomic>

namespace {
std::atomic<LaserPointer*> installedPointer{nullptr};
}

LaserPointer* LaserPointer::instance()
{
    return installedPointer.load(std::memory_order_acquire);
}

void LaserPointer::setInstance(LaserPointer* pointer)
{
    installedPointer.store(pointer, std::memory_order_release);
}
