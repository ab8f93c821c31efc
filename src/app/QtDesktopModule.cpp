#include "QtDesktopModule.h"

#include "AppDelegate.h"
#include "DesktopProbe.h"
#include "GnomeBackend.h"
#include "IconTheme.h"
#include "KdeBackend.h"
#include "Language.h"
#include "Log.h"
#include "MessageBoxAlerts.h"
#include "OverlayWindows.h"
#include "PairingImage.h"
#include "PngFile.h"
#include "QtApprovalPrompt.h"
#include "ScreenCapture.h"
#include "Thumbnail.h"
#include "WlrootsBackend.h"
#include "X11Backend.h"
#include "X11Display.h"

#include <QApplication>
#include <cstdlib>

BackendChoice QtDesktopModule::detectBackend()
{
    return DesktopProbe::Detect();
}

std::unique_ptr<DesktopBackend> QtDesktopModule::makeBackend(BackendKind kind)
{
    switch (kind) {
    case BackendKind::X11:
        return std::make_unique<X11Backend>(BackendKind::X11);
    case BackendKind::Gnome:
        return std::make_unique<GnomeBackend>();
    case BackendKind::Kde:
        return std::make_unique<KdeBackend>();
    case BackendKind::Wlroots: {
        auto backend = std::make_unique<WlrootsBackend>();
        if (backend->ready())
            return backend;
        Log::Printf("wlroots backend: the compositor offers no virtual pointer and keyboard\n");
        break;
    }
    case BackendKind::None:
        break;
    }
    // Without a desktop the X11 backend finds no display: events are dropped,
    // and a desktop application still has Qt's clipboard.
    return std::make_unique<X11Backend>(BackendKind::None);
}

bool QtDesktopModule::prepareDisplay(BackendKind kind)
{
    // On a Wayland backend the windows are native Wayland clients
    // (qt6-wayland) unless the user chose a Qt platform; the X11 backend's
    // are X clients.
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const bool wayland = kind != BackendKind::X11 && kind != BackendKind::None && waylandDisplay != nullptr &&
                         *waylandDisplay != 0;
    if (wayland)
        ::setenv("QT_QPA_PLATFORM", "wayland", 0);
    else if (kind == BackendKind::X11)
        ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    return wayland || X11Display::instance().available();
}

int QtDesktopModule::runApplication(int argc, char** argv, const LaunchOptions& options)
{
    QApplication app(argc, argv);
    ServerDelegate::prepareApplication();
    // Every text the user reads follows the desktop's language.
    const Language language;
    int status = 1;
    {
        // The text-input window and the laser pointer, for a phone to open,
        // the question whether a new phone may connect, and alerts as
        // message boxes.
        OverlayWindows overlayWindows;
        QtApprovalPrompt approvalPrompt;
        ApprovalPrompt::setInstance(&approvalPrompt);
        MessageBoxAlerts messageBoxes;
        Alerts::setInstance(&messageBoxes);
        AppDelegate delegate(options);
        status = delegate.run();
        Alerts::setInstance(nullptr);
        ApprovalPrompt::setInstance(nullptr);
    }
    // The services and windows are gone: the backend's own threads (Wayland
    // dispatch, clipboard, typing) end now, while the application is whole,
    // rather than racing Qt's teardown at exit.
    DesktopBackend::endAll();
    return status;
}

std::string QtDesktopModule::thumbnailJpeg(const std::string& path)
{
    return Thumbnail::jpeg(path);
}

std::string QtDesktopModule::iconPng(const std::string& nameOrPath)
{
    return IconTheme::png(nameOrPath);
}

std::string QtDesktopModule::iconPngForFile(const std::string& path)
{
    return IconTheme::pngForFile(path);
}

std::string QtDesktopModule::genericIconPng()
{
    return IconTheme::genericPng();
}

bool QtDesktopModule::saveScreenshot(const std::string& path)
{
    ScreenCapture* capture = ScreenCapture::instance();
    return capture != nullptr && PngFile::save(capture->grab(), path);
}

bool QtDesktopModule::writePairingPng(const std::string& path, std::string& error)
{
    return PairingImage::WritePng(path, error);
}

extern "C" DesktopModule* corvane_desktop_module()
{
    static QtDesktopModule module;
    return &module;
}
