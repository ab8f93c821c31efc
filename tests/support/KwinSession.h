#pragma once

#include "CompositorSession.h"

#include <string>

// A headless KDE Plasma compositor of the test's own: KWin on a virtual
// 1280 × 800 output with its own Wayland socket (a CompositorSession),
// started from the test's environment (use a UserSandbox: KWin reads and
// writes its settings, and reads the desktop entries that grant its
// restricted interfaces, in the XDG folders).
//
// The installed kwin_wayland carries a file capability that a container
// may not grant; the session runs a copy without it, under the same name
// (KWin loads its own Qt platform plugin only in a program of that name).
class KwinSession : public CompositorSession {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;
    static constexpr const char* kInstalled = "/usr/bin/kwin_wayland";

    // compositing: KWin's KWIN_COMPOSE, "O2" (OpenGL, rendered in software
    // without a GPU) or "Q" (QPainter, which keeps input handling free of
    // the software renderer's long frames).
    explicit KwinSession(const std::string& compositing = "O2");
    static bool installed() { return Installed({kInstalled}); }

    // Grants a program KWin's restricted interfaces the way an installed
    // Corvane gets them: the desktop entry that the build configures for
    // installation, with Exec naming this program, written to
    // XDG_DATA_HOME/applications/<name>.desktop.
    static void Allow(const std::string& program, const std::string& name);
};

// Starts a KWin session for the enclosing test and enters it, or skips the
// test (fails it under CORVANE_REQUIRE_X, as in CI) when KWin is not installed.
#define CORVANE_START_KWIN(var)                                                              \
    CORVANE_REQUIRE_DESKTOP(KwinSession::installed(), "CORVANE_REQUIRE_X", "kwin_wayland")   \
    var.emplace();                                                                           \
    ASSERT_TRUE(var->started()) << "KWin did not start:\n" << var->log();                    \
    var->enter()
