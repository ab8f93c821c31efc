#include "RecordingApprovalPrompt.h"

void RecordingApprovalPrompt::ask(const std::string& name, const std::string& address, std::function<void(bool)> answered)
{
    overlapping += open() ? 1 : 0;
    asked.push_back(name + '|' + address);
    pending = std::move(answered);
}

void RecordingApprovalPrompt::dismiss()
{
    dismissed += open() ? 1 : 0;
    pending = nullptr;
}

void RecordingApprovalPrompt::answer(bool allow)
{
    auto answered = std::move(pending);
    pending = nullptr;
    if (answered)
        answered(allow);
}
