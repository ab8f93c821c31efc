#pragma once

#include "ScreenCapture.h"

#include <atomic>

// Pictures of a KDE Plasma session through KWin's screenshot interface
// (org.kde.KWin.ScreenShot2 on the session bus, CaptureWorkspace): every
// output at its native resolution, the pixels handed over through a pipe.
// KWin answers only programs whose desktop entry names the interface in
// X-KDE-DBUS-Restricted-Interfaces; a refusal is logged once with the
// entry that is needed. Any thread.
class KwinScreenShot : public ScreenCapture {
public:
    // The longest a capture may take.
    static constexpr int kTimeoutMs = 5000;

    QImage grab() override;

private:
    std::atomic<bool> reportedRefusal{false};
};
