#include "CData.h"
#include "InProcessServer.h"
#include "SRequest.h"
#include "TCPClientSocket.h"

#include <gtest/gtest.h>

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
