#include "CData.h"
#include "FreePort.h"
#include "InProcessServer.h"
#include "SRequest.h"
#include "TCPClientSocket.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(ProtocolClient, ConnectingToAClosedPortFailsAtOnce)
{
    SRequest request;
    request.SetInfo("127.0.0.1", FreePort::tcp(), 2);
    CData reply;
    testing::internal::CaptureStderr();
    EXPECT_EQ(request.SendRequest("OpKey_GetDeviceInfo", "", &reply), NR_ConnectError);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(messages.find("connect EINPROGRESS failed") != std::string::npos ||
                messages.find("getsockopt  failed") != std::string::npos)
        << messages;
    EXPECT_FALSE(request.bConnecting);
    EXPECT_EQ(request.connectErrno, ECONNREFUSED);
}

TEST(ProtocolClient, AnEmptyReplyIsAnEmptyTerminatedBuffer)
{
    InProcessServer server;
    SRequest request;
    request.SetInfo("127.0.0.1", server.port(), 5);
    CData reply;
    ASSERT_EQ(request.SendRequest("OpKey_NoSuchOperation", "", &reply), NR_OK);
    EXPECT_EQ(reply.size, 0);
    ASSERT_NE(reply.pData, nullptr);
    EXPECT_EQ(reply.pData[0], 0);
}

TEST(ProtocolClient, UsesTheRememberedAddressForNewRequests)
{
    EXPECT_EQ(GetConnectIP(), nullptr);
    SetConnectIP("127.0.0.9");
    EXPECT_STREQ(GetConnectIP(), "127.0.0.9");
    SRequest request;
    EXPECT_STREQ(request.ip, "127.0.0.9");
    EXPECT_EQ(request.port, 1811);
    EXPECT_EQ(request.timeout, 10);
}
