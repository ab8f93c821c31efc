#include "AppDelegate.h"
#include "Config.h"
#include "Language.h"
#include "LaunchOptions.h"
#include "OverlayWindows.h"
#include "PairingCode.h"
#include "QtApprovalPrompt.h"
#include "TerminationSignals.h"
#include "TrustCommand.h"

#include "BackendProbe.h"
#include "DesktopBackend.h"
#include "X11Display.h"

#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/resource.h>

namespace {

constexpr rlim_t kWantedDescriptors = 8192;

void Print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

// The options that do one thing and exit, in the user's language, without
// the service or a display.
int RunCommand(int argc, char** argv, const LaunchOptions& options, bool parsed)
{
    QCoreApplication app(argc, argv);
    const Language language;
    if (!parsed) {
        Print(stderr, QStringLiteral("corvane: %1\n\n%2").arg(options.Error(), LaunchOptions::Usage()));
        return 2;
    }
    if (options.showHelp) {
        Print(stdout, LaunchOptions::Usage());
        return 0;
    }
    if (options.showVersion) {
        std::printf("corvane %s\n", CORVANE_VERSION);
        return 0;
    }
    if (options.trustAction != LaunchOptions::TrustAction::None)
        return TrustCommand::Run(options);
    if (options.autostart) {
        // The same setting and autostart entry as the menu's two items.
        Config::setAutoStart(*options.autostart);
        const QString state = *options.autostart
            ? QCoreApplication::translate("main", "start at login is on (%1 starts %2)")
                  .arg(QString::fromStdString(Config::autostartFolder() + "/corvane.desktop"),
                       QString::fromStdString(Config::programPath()))
            : QCoreApplication::translate("main", "start at login is off");
        Print(stdout, QStringLiteral("corvane: %1\n").arg(state));
        return 0;
    }
    // --pairing-qr FILE.png
    std::string error;
    if (PairingCode::WritePng(options.pairingQrFile, error))
        return 0;
    std::fprintf(stderr, "corvane: %s\n", error.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);

    LaunchOptions options;
    const bool parsed = options.Parse(argc, argv);
    if (!parsed || options.EndsAtOnce())
        return RunCommand(argc, argv, options, parsed);

    // Every connection takes a descriptor, and so does every file it sends:
    // the service's connection limit needs more than the common soft limit
    // of 1024.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < kWantedDescriptors) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, kWantedDescriptors);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    // The desktop backend is chosen before anything uses a desktop service.
    const BackendChoice backend = BackendProbe::Detect(options.backend);
    DesktopBackend::setCurrent(DesktopBackend::make(backend.kind));
    std::printf("desktop backend: %s (%s)\n", DesktopBackend::name(backend.kind), backend.reason.c_str());

    // With a display the program is a desktop application (clipboard,
    // windows); without one, or with --headless, only the services run. On
    // a Wayland backend the windows are native Wayland clients (qt6-wayland)
    // unless the user chose a Qt platform; the X11 backend's are X clients.
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const bool wayland = backend.kind != BackendKind::X11 && backend.kind != BackendKind::None &&
                         waylandDisplay != nullptr && *waylandDisplay != 0;
    if (wayland)
        ::setenv("QT_QPA_PLATFORM", "wayland", 0);
    else if (backend.kind == BackendKind::X11)
        ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    const bool desktop = !options.headless && (wayland || X11Display::instance().available());
    std::unique_ptr<QCoreApplication> application;
    if (desktop)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    // Qt adopts the user's locale; numbers on the wire ("%f", atof) must keep
    // the dot as decimal separator whatever the desktop's language.
    std::setlocale(LC_NUMERIC, "C");
    // Every text the user reads follows the desktop's language.
    const Language language;

    // The text-input window and the laser pointer, for a phone to open, and
    // the question whether a new phone may connect.
    std::optional<OverlayWindows> overlayWindows;
    std::optional<QtApprovalPrompt> approvalPrompt;
    if (desktop) {
        overlayWindows.emplace();
        approvalPrompt.emplace();
        ApprovalPrompt::setInstance(&*approvalPrompt);
    }

    // Watch for SIGTERM/SIGINT before anything starts, so a request to end
    // that arrives during start-up still runs the termination sequence.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    AppDelegate delegate(options);
    AppDelegateHooks::setCurrent(&delegate);
    if (!delegate.applicationDidFinishLaunching())
        return 1;
    const int status = app.exec();
    delegate.applicationWillTerminate();
    AppDelegateHooks::setCurrent(nullptr);
    ApprovalPrompt::setInstance(nullptr);
    return status;
}
