#pragma once

#include "ApprovalPrompt.h"

#include <string>
#include <vector>

// An approval prompt for tests: records each question as "name|address" and
// keeps it open until the test answers it; counts questions dismissed and
// questions asked while another was open. Installs itself for its
// lifetime. Main thread only, as the real one.
class RecordingApprovalPrompt : public ApprovalPrompt {
public:
    RecordingApprovalPrompt() { setInstance(this); }
    ~RecordingApprovalPrompt() override { setInstance(nullptr); }

    void ask(const std::string& name, const std::string& address, std::function<void(bool)> answered) override;
    void dismiss() override;
    // Answers the open question as the user would.
    void answer(bool allow);

    const std::vector<std::string>& questions() const { return asked; }
    bool open() const { return static_cast<bool>(pending); }

    int dismissed = 0;
    int overlapping = 0;

private:
    std::vector<std::string> asked;
    std::function<void(bool)> pending;
};
