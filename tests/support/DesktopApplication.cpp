#include "DesktopApplication.h"

#include <QApplication>
#include <atomic>
#include <chrono>
#include <thread>

DesktopApplication::DesktopApplication(const char* platform)
{
    qputenv("QT_QPA_PLATFORM", platform);
    application = std::make_unique<QApplication>(argc, argv);
}

DesktopApplication::~DesktopApplication() = default;

bool DesktopApplication::pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

InProcessServer::Reply DesktopApplication::request(const InProcessServer& server, const std::string& head,
                                                   const std::string& body)
{
    std::atomic<bool> done{false};
    InProcessServer::Reply reply{};
    std::thread client([&] {
        reply = server.request(head, body);
        done = true;
    });
    // No time limit here: the client cannot finish without the events.
    while (!done.load())
        pumpUntil([&] { return done.load(); }, 1000);
    client.join();
    return reply;
}
