#include "SCommon.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

TEST(Split, DropsEmptyPiecesSoLaterFieldsMoveForward)
{
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(split("a^_7^_7b", "^_7"), (Pieces{"a", "b"}));
    EXPECT_EQ(split("^_7a^_7", "^_7"), (Pieces{"a"}));
    EXPECT_TRUE(split("", "^_7").empty());
    EXPECT_TRUE(split("^_7^_7^_7", "^_7").empty());
    EXPECT_EQ(split("plain", "^_7"), (Pieces{"plain"}));
    EXPECT_EQ(split("a^_b^_7c", "^_7"), (Pieces{"a^_b", "c"})); // a near-separator is ordinary text
    EXPECT_EQ(split("archive.tar.gz", "."), (Pieces{"archive", "tar", "gz"}));
}

TEST(LiveMessageBuilder, WritesFourFieldsWithTwoDecimalsInA257ByteBuffer)
{
    const std::unique_ptr<char[]> message(GetMsgBuf(MsgType_Move, "x", 1.5f, -3.0f));
    EXPECT_STREQ(message.get(), "5^_7x^_71.50^_7-3.00");
    for (std::size_t i = std::strlen(message.get()); i < 257; ++i)
        ASSERT_EQ(message[i], 0) << "byte " << i;
    EXPECT_STREQ(std::unique_ptr<char[]>(GetMsgBuf(MsgType_Text, nullptr, 0, 0)).get(), "8^_7 ^_70.00^_70.00");
    // An overlong text is cut to the record.
    const std::string text(400, 'k');
    EXPECT_EQ(std::strlen(std::unique_ptr<char[]>(GetMsgBuf(MsgType_Text, text.c_str(), 0, 0)).get()), 256u);
}

TEST(InstanceId, IsFifteenLettersOrDigitsAndStableForTheProcess)
{
    const std::string id = getUUID();
    ASSERT_EQ(id.size(), 15u);
    for (const char c : id)
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    EXPECT_EQ(id, getUUID());
}

TEST(ApplicationPath, IsRecognisedByTheExtensionOfTheSystemType)
{
    EXPECT_TRUE(isApp("/Applications/Example.app", SysType_Desktop));
    EXPECT_FALSE(isApp("/Applications/Example.app", SysType_Phone));
    EXPECT_TRUE(isApp("game.apk", SysType_Android));
    EXPECT_TRUE(isApp("setup.exe", SysType_Windows));
    EXPECT_TRUE(isApp("a.b.ipa", SysType_Phone));
    for (const SysType type : {SysType_Phone, SysType_Desktop, SysType_Windows, SysType_Android})
        EXPECT_FALSE(isApp("/bin/ls", type));
    EXPECT_FALSE(isApp("app", SysType_Desktop));
    EXPECT_FALSE(isApp(nullptr, SysType_Desktop));
    EXPECT_FALSE(isApp("x.app", static_cast<SysType>(9)));
}

TEST(LocalNetwork, AcceptsLoopbackPrivateLinkLocalAndSharedRanges)
{
    const auto lan = [](const char* text) {
        in_addr address{};
        EXPECT_EQ(inet_pton(AF_INET, text, &address), 1);
        return isLanAddress(ntohl(address.s_addr));
    };
    for (const char* inside : {"127.0.0.1", "127.255.0.9", "10.0.0.1", "10.255.255.255", "172.16.0.1",
                               "172.31.255.254", "192.168.1.20", "169.254.3.4", "100.64.0.1", "100.127.255.255"})
        EXPECT_TRUE(lan(inside)) << inside;
    for (const char* outside : {"8.8.8.8", "172.15.255.255", "172.32.0.0", "192.169.0.1", "100.63.255.255",
                                "100.128.0.0", "1.1.1.1", "224.0.0.1"})
        EXPECT_FALSE(lan(outside)) << outside;
}
