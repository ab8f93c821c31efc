#include "Config.h"
#include "Language.h"
#include "LaunchOptions.h"
#include "ServerDelegate.h"
#include "TrustCommand.h"

#include "BackendProbe.h"
#include "DesktopBackend.h"
#include "DesktopModule.h"

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>
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
    if (DesktopModule::instance().writePairingPng(options.pairingQrFile, error))
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
    // windows) from the desktop module; without one, or with --headless,
    // only the services run, and the module loads only if the session has
    // a display or a picture is asked for.
    if (!options.headless && DesktopModule::loaded() && DesktopModule::instance().prepareDisplay(backend.kind))
        return DesktopModule::instance().runApplication(argc, argv, options);
    QCoreApplication app(argc, argv);
    ServerDelegate::prepareApplication();
    // Every text the user reads follows the desktop's language.
    const Language language;
    ServerDelegate delegate(options);
    return delegate.run();
}
