#pragma once

#include <functional>
#include <string>

// Asks the desktop user whether a device that is not trusted yet may control
// this computer, one device at a time. The desktop program installs one at
// start-up; a service without a display has none. Used on the main thread
// only.
class ApprovalPrompt {
public:
    virtual ~ApprovalPrompt() = default;

    // Shows the question for the device at address (dotted IPv4) whose phone
    // gave name (UTF-8, empty when unknown), above other windows, and
    // returns at once. answered(true) follows when the user allows the
    // device, answered(false) when they deny it or close the question; it is
    // called once, on the main thread, and never after dismiss().
    virtual void ask(const std::string& name, const std::string& address, std::function<void(bool)> answered) = 0;
    // Takes the open question off the screen without an answer.
    virtual void dismiss() = 0;

    // The installed prompt, or null.
    static ApprovalPrompt* instance();
    // Installs a prompt; null removes it.
    static void setInstance(ApprovalPrompt* prompt);
};
