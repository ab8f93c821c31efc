#pragma once

// The shell's compiled-in images (tray icon, application icon). They live
// in a static library, so they are registered explicitly before first use.
class ShellResources {
public:
    ShellResources() = delete;

    // Registers the images once; safe to call again.
    static void load();
};
