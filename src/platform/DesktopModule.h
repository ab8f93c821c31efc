#pragma once

#include "BackendProbe.h"

#include <memory>
#include <string>

class DesktopBackend;
class LaunchOptions;

// Everything that needs a display or Qt's picture and widget libraries,
// built as a module of its own (corvane-desktop.so) so that a server without
// a display never loads those libraries: the desktop backends, the desktop
// application (status menu, windows, overlays) and pictures (thumbnails,
// icons, screenshots, the pairing code as PNG). The program loads it when
// the session may offer a display, or at the first request for a picture.
// Pictures may be asked for on any thread; the rest on the main thread.
class DesktopModule {
public:
    virtual ~DesktopModule() = default;

    // What the session offers (the Wayland compositor, an X server).
    virtual BackendChoice detectBackend() = 0;
    // A new backend of the kind; kinds the module cannot drive get one
    // without a desktop.
    virtual std::unique_ptr<DesktopBackend> makeBackend(BackendKind kind) = 0;
    // Chooses the Qt platform for the backend's windows and says whether a
    // display takes them.
    virtual bool prepareDisplay(BackendKind kind) = 0;
    // Runs the desktop application (the services, the status menu, the
    // windows a phone opens) until it quits; its exit status.
    virtual int runApplication(int argc, char** argv, const LaunchOptions& options) = 0;

    // The picture file at path as a JPEG preview (Thumbnail::jpeg).
    virtual std::string thumbnailJpeg(const std::string& path) = 0;
    // Icons as PNG (IconTheme).
    virtual std::string iconPng(const std::string& nameOrPath) = 0;
    virtual std::string iconPngForFile(const std::string& path) = 0;
    virtual std::string genericIconPng() = 0;
    // The desktop captured into a PNG file at path; false when it cannot be.
    virtual bool saveScreenshot(const std::string& path) = 0;
    // The pairing code as a PNG file (PairingImage::WritePng).
    virtual bool writePairingPng(const std::string& path, std::string& error) = 0;

    // The module in use: the one installed, else corvane-desktop.so loaded
    // from beside the program (a build tree) or from the library folder of
    // the program's installation (lib/corvane). Where it cannot be loaded,
    // one that has no display and no pictures, after a log line saying why.
    static DesktopModule& instance();
    // Whether instance() has been called or a module installed.
    static bool loaded();
    // Installs a module linked into the program (the tests do); null
    // restores loading.
    static void setInstance(DesktopModule* module);
};

// The module's one exported function: its DesktopModule, for the lifetime
// of the process.
extern "C" DesktopModule* corvane_desktop_module();
using DesktopModuleEntry = DesktopModule* (*)();
