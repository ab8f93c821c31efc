#include "RecordingPosterTest.h"

#include "InProcessServer.h"
#include "MsgEntity.h"
#include "MyClient.h"
#include "SCommon.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using MsgEntityTest = RecordingPosterTest;

void Process(MsgType type, const char* text, float x, float y)
{
    std::unique_ptr<char[]> message(GetMsgBuf(type, text, x, y));
    MsgEntity::ProcessMsg(message.get());
}

TEST_F(MsgEntityTest, MoveAndClickMessages)
{
    poster.setPointerLocation({100, 100});
    MsgEntity::ProcessMsg("5^_7 ^_712.50^_7-3.00");
    MsgEntity::ProcessMsg("0^_72^_70.00^_70.00");

    const auto posted = events();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].mouseType, MouseEventType::Moved);
    EXPECT_DOUBLE_EQ(posted[0].at.x, 112.5);
    EXPECT_DOUBLE_EQ(posted[0].at.y, 97);
    EXPECT_EQ(posted[1].mouseType, MouseEventType::LeftDown);
    EXPECT_EQ(posted[2].mouseType, MouseEventType::LeftUp);
    EXPECT_DOUBLE_EQ(posted[2].at.x, 112.5);
}

TEST_F(MsgEntityTest, ScrollTruncatesTowardZero)
{
    MsgEntity::ProcessMsg("7^_7 ^_7-2.70^_71.90");
    const auto posted = events();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].horizontalPixels, -10);
    EXPECT_EQ(posted[0].verticalPixels, 5);
}

TEST_F(MsgEntityTest, ScrollValuesBeyondRangeStayBounded)
{
    MsgEntity::ProcessMsg("7^_7 ^_71e30^_7nan");
    MsgEntity::ProcessMsg("7^_7 ^_7-inf^_71e300");
    const auto posted = events();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_GT(posted[0].horizontalPixels, 0);
    EXPECT_EQ(posted[0].verticalPixels, 0);
    EXPECT_LT(posted[1].horizontalPixels, 0);
    EXPECT_GT(posted[1].verticalPixels, 0);
}

TEST_F(MsgEntityTest, TextMessagesTypeTheirSecondField)
{
    MsgEntity::ProcessMsg("8^_7hello^_70.00^_70.00");
    Process(MsgType_Text, nullptr, 0, 0); // a null text travels as one blank
    Process(MsgType_Text, "a b", 0, 0);
    const auto posted = events();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].text, u"hello");
    EXPECT_EQ(posted[1].text, u" ");
    EXPECT_EQ(posted[2].text, u"a b");
}

TEST_F(MsgEntityTest, KeyMessages)
{
    Process(MsgType_Return, nullptr, 0, 0);
    Process(MsgType_Delete, nullptr, 0, 0);
    Process(MsgType_Space, nullptr, 0, 0);
    const auto posted = events();
    ASSERT_EQ(posted.size(), 6u);
    EXPECT_EQ(posted[0].keyCode, 52);
    EXPECT_EQ(posted[2].keyCode, 51);
    EXPECT_EQ(posted[4].keyCode, 49);
    EXPECT_EQ(posted[4].purpose, KeyPurpose::Keyboard);
}

TEST_F(MsgEntityTest, UnknownTypesAndShortMessagesDoNothing)
{
    MsgEntity::ProcessMsg("25^_7 ^_71.00^_71.00");
    MsgEntity::ProcessMsg("-1^_7 ^_71.00^_71.00");
    MsgEntity::ProcessMsg("4^_7 ^_71.00^_71.00");
    MsgEntity::ProcessMsg("5^_7 ^_712.5");
    MsgEntity::ProcessMsg("5^_7^_7^_712.5^_71");
    MsgEntity::ProcessMsg("");
    MsgEntity::ProcessMsg("5");
    MsgEntity::ProcessMsg(nullptr);
    EXPECT_TRUE(events().empty());
}

TEST_F(MsgEntityTest, RecordIsReadUpToItsFirstZeroByte)
{
    char record[257];
    std::memset(record, 'x', sizeof record);
    const char* text = "8^_7abc^_70.00^_70.00";
    std::memcpy(record, text, std::strlen(text) + 1);
    record[256] = 0;
    MsgEntity::ProcessMsg(record);
    const auto posted = events();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].text, u"abc");
}

TEST_F(MsgEntityTest, LiveChannelDeliversMessagesInOrder)
{
    InProcessServer server;
    MyClient client;
    client.SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(client.ConnService(), NR_OK);

    poster.setPointerLocation({0, 0});
    constexpr int kMoves = 300;
    for (int i = 0; i < kMoves; ++i) {
        std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, nullptr, 1.0f, 2.0f));
        ASSERT_EQ(client.SendMsg(message.get()), NR_OK);
    }
    std::unique_ptr<char[]> text(GetMsgBuf(MsgType_Text, "end", 0, 0));
    ASSERT_EQ(client.SendMsg(text.get()), NR_OK);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (poster.count() < kMoves + 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto posted = events();
    ASSERT_EQ(posted.size(), static_cast<std::size_t>(kMoves + 1));
    for (int i = 0; i < kMoves; ++i) {
        ASSERT_EQ(posted[i].mouseType, MouseEventType::Moved);
        ASSERT_DOUBLE_EQ(posted[i].at.x, i + 1.0);
        ASSERT_DOUBLE_EQ(posted[i].at.y, 2.0 * (i + 1));
    }
    EXPECT_EQ(posted[kMoves].text, u"end");
}

} // namespace
