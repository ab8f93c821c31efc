// The laser-pointer operations through a live server: live messages and
// requests queue their changes to the main thread in order and never wait
// for it.
#include "InProcessServer.h"
#include "LaserPointer.h"
#include "ManualMainQueue.h"
#include "MyClient.h"
#include "RecordingLaserPointer.h"
#include "SCommon.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class LaserPointerTest : public ::testing::Test {
protected:
    void SetUp() override { LaserPointer::setInstance(&pointer); }
    void TearDown() override { LaserPointer::setInstance(nullptr); }

    void Live(MyClient& client, MsgType type, float x, float y)
    {
        std::unique_ptr<char[]> message(GetMsgBuf(type, nullptr, x, y));
        ASSERT_EQ(client.SendMsg(message.get()), NR_OK);
    }

    std::vector<std::string> Calls() const
    {
        std::vector<std::string> texts;
        for (const RecordedCall& call : pointer.calls()) {
            EXPECT_EQ(call.thread, mainQueue.mainThread()) << call.text << " ran off the main thread";
            texts.push_back(call.text);
        }
        return texts;
    }

    ManualMainQueue mainQueue;
    RecordingLaserPointer pointer;
    InProcessServer server;
};

TEST_F(LaserPointerTest, ChangesAreQueuedInOrderWithoutWaiting)
{
    MyClient client;
    client.SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(client.ConnService(), NR_OK);
    Live(client, MsgType_LightOn, 0, 0);
    Live(client, MsgType_LightMove, 3, -4.5f);
    Live(client, MsgType_LightMove, -0.25f, 12);
    Live(client, MsgType_LightSwitch, 0, 0);
    Live(client, MsgType_LightOff, 0, 0);
    ASSERT_TRUE(mainQueue.waitForPending(5));

    // The requests are answered, with empty replies, while nothing has run
    // on the main thread yet.
    const InProcessServer::Reply colour = server.request("OpKey_LightColor", "65280^_70.5^_70");
    EXPECT_EQ(colour.result, NR_OK);
    EXPECT_EQ(colour.bytes, "");
    const InProcessServer::Reply size = server.request("OpKey_LightSize", "60^_720^_71");
    EXPECT_EQ(size.result, NR_OK);
    EXPECT_EQ(size.bytes, "");
    EXPECT_EQ(server.request("OpKey_LightColor", "16711680^_71^_71").bytes, "");
    EXPECT_EQ(pointer.count(), 0u);

    EXPECT_EQ(mainQueue.runPending(), 8u);
    EXPECT_EQ(Calls(), std::vector<std::string>({
                           "show",
                           "move 3 -4.5",
                           "move -0.25 12",
                           "alphaSwitch",
                           "hide",
                           "lightColor 0x00ff00 0.5 0",
                           "lightSize 60 20 1",
                           "lightColor 0xff0000 1 1",
                       }));
}

TEST_F(LaserPointerTest, RequestsWithTooFewFieldsChangeNothing)
{
    EXPECT_EQ(server.request("OpKey_LightColor", "65280^_70.5").bytes, "");
    EXPECT_EQ(server.request("OpKey_LightSize", "40").bytes, "");
    mainQueue.runPending();
    EXPECT_EQ(pointer.count(), 0u);
}

TEST_F(LaserPointerTest, WithoutAPointerChangesAreDropped)
{
    LaserPointer::setInstance(nullptr);
    EXPECT_EQ(server.request("OpKey_LightSize", "40^_740^_71").bytes, "");
    EXPECT_EQ(mainQueue.runPending(), 1u);
    EXPECT_EQ(pointer.count(), 0u);
}

} // namespace
