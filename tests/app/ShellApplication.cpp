#include "ShellApplication.h"
#include "FreePort.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// The offscreen platform says for every window that it cannot pass size
// hints on; that says nothing about the test.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    previousHandler(type, context, message);
}

} // namespace

ShellApplication::ShellApplication(const char* platform)
{
    static const bool installed = [] {
        previousHandler = qInstallMessageHandler(QuietMessages);
        return true;
    }();
    (void)installed;
    if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        savedBus = bus;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/corvane-test-bus", 1);
    qputenv("QT_QPA_PLATFORM", platform);
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

ShellApplication::~ShellApplication()
{
    application.reset();
    if (savedBus)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus->c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool ShellApplication::pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // Outside exec() the loop would keep deleteLater() requests forever.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ShellApplication::pump(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    pumpUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
}

LaunchOptions LoopbackOptions()
{
    LaunchOptions options;
    options.tcpPort = FreePort::tcp();
    options.udpPort = FreePort::udp();
    options.broadcast = "127.255.255.255";
    return options;
}

std::string Shown(RecordingAlerts& alerts)
{
    QString lines;
    for (const RecordingAlerts::Alert& alert : alerts.alerts())
        lines += alert.message + '|' + alert.informativeText + '|' + alert.button + '\n';
    return lines.toStdString();
}
