#pragma once

#include <optional>
#include <vector>

// Stands in for a window manager on the X server of DISPLAY, over a
// connection of its own: it keeps properties, reads the requests clients
// send to the root window, and asks windows to close as a close button
// would. With announce() it also claims EWMH support for activation,
// closing and the client list, so the code under test asks it instead of
// acting on windows directly.
class FakeWindowManager {
public:
    FakeWindowManager();
    ~FakeWindowManager();
    FakeWindowManager(const FakeWindowManager&) = delete;
    FakeWindowManager& operator=(const FakeWindowManager&) = delete;

    bool connected() const { return display != nullptr; }
    unsigned long root() const;
    void announce();
    // Replaces a 32-bit property of a window (the root by default).
    void set(const char* property, unsigned long type, std::vector<unsigned long> values, unsigned long window = 0);

    struct Request {
        unsigned long window;
        long data0;
        bool operator==(const Request&) const = default;
    };
    // The next client message of that type sent to the root window.
    std::optional<Request> awaitRequest(const char* type, int timeoutMs = 10000);
    // WM_PROTOCOLS / WM_DELETE_WINDOW to the window, as from its close button.
    void askToClose(unsigned long window);

private:
    unsigned long atom(const char* name) const;

    struct _XDisplay* display;
};
