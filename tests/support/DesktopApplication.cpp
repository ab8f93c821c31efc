#include "DesktopApplication.h"

#include <QApplication>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// The offscreen platform says for every window that it cannot pass size
// hints on; that says nothing about the test.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        previousHandler(type, context, message);
}

} // namespace

DesktopApplication::DesktopApplication(const char* platform)
{
    if (previousHandler == nullptr)
        previousHandler = qInstallMessageHandler(QuietMessages);
    qputenv("QT_QPA_PLATFORM", platform);
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

DesktopApplication::~DesktopApplication() = default;

bool DesktopApplication::pumpUntil(const std::function<bool()>& pred, int timeoutMs)
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

void DesktopApplication::pump(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    pumpUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
}

void DesktopApplication::runAside(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    std::thread aside([&] {
        work();
        done = true;
    });
    // No time limit here: the work may not finish without the events.
    while (!done.load())
        pumpUntil([&] { return done.load(); }, 1000);
    aside.join();
}

InProcessServer::Reply DesktopApplication::request(const InProcessServer& server, const std::string& head,
                                                   const std::string& body)
{
    InProcessServer::Reply reply{};
    runAside([&] { reply = server.request(head, body); });
    return reply;
}
