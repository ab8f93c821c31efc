#include "InputWindow.h"

#include <atomic>

namespace {
std::atomic<InputWindow*> installedWindow{nullptr};
}

InputWindow* InputWindow::instance()
{
    return installedWindow.load(std::memory_order_acquire);
}

void InputWindow::setInstance(InputWindow* window)
{
    installedWindow.store(window, std::memory_order_release);
}
