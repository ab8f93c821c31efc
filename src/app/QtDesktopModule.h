#pragma once

#include "DesktopModule.h"

// The desktop module's implementation: Qt's widgets and pictures and the
// desktop backends. corvane-desktop.so hands it out; the tests link it in
// and install it.
class QtDesktopModule : public DesktopModule {
public:
    BackendChoice detectBackend() override;
    std::unique_ptr<DesktopBackend> makeBackend(BackendKind kind) override;
    bool prepareDisplay(BackendKind kind) override;
    int runApplication(int argc, char** argv, const LaunchOptions& options) override;

    std::string thumbnailJpeg(const std::string& path) override;
    std::string iconPng(const std::string& nameOrPath) override;
    std::string iconPngForFile(const std::string& path) override;
    std::string genericIconPng() override;
    bool saveScreenshot(const std::string& path) override;
    bool writePairingPng(const std::string& path, std::string& error) override;
};
