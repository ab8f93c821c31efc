#include "ApprovalPrompt.h"

#include <atomic>

namespace {
std::atomic<ApprovalPrompt*> installedPrompt{nullptr};
}

ApprovalPrompt* ApprovalPrompt::instance()
{
    return installedPrompt.load(std::memory_order_acquire);
}

void ApprovalPrompt::setInstance(ApprovalPrompt* prompt)
{
    installedPrompt.store(prompt, std::memory_order_release);
}
