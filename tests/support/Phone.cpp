#include "Phone.h"

#include "CData.h"
#include "SRequest.h"

#include <QImage>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

Phone::Phone(int port) : port(port)
{
    live.SetInfo("127.0.0.1", port, 10);
    EXPECT_EQ(live.ConnService(), NR_OK) << "live channel to port " << port;
}

std::string Phone::request(const std::string& head, const std::string& body) const
{
    SRequest client;
    client.SetInfo("127.0.0.1", port, 10);
    CData headData, bodyData, reply;
    headData.SetData(head.data(), static_cast<long long>(head.size()));
    bodyData.SetData(body.data(), static_cast<long long>(body.size()));
    client.SendRequestByCData(&headData, &bodyData, &reply);
    return reply.pData != nullptr ? std::string(reply.pData, static_cast<std::size_t>(reply.size)) : std::string();
}

void Phone::send(const std::vector<Live>& messages)
{
    for (const Live& message : messages) {
        std::unique_ptr<char[]> bytes(GetMsgBuf(message.type, message.text, message.x, message.y));
        EXPECT_EQ(live.SendMsg(bytes.get()), NR_OK);
    }
}

QImage Phone::screenshot() const
{
    return QImage::fromData(QByteArray::fromStdString(request("OpKey_ScreenShot")), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

bool Eventually(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
