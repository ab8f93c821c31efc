#include "Config.h"
#include "InProcessServer.h"
#include "RecordingDelegate.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

// Operations whose effect shows without a desktop: settings, the delegate.
class Dispatch : public testing::Test {
protected:
    UserSandbox sandbox;
    RecordingDelegate delegate;
    InProcessServer server;
};

TEST_F(Dispatch, WorkSyncSettingsNeedFourFieldsAndAreStoredAndEchoedBack)
{
    const auto stored = [] {
        return std::vector<std::string>{Config::getPushRegestId(), Config::getPushDeviceToken(), Config::getPushURL(),
                                        Config::getPushAuthorInfo()};
    };
    const std::vector<std::string> first = {"reg-1", "tok-2", "https://push.example/v3", "Basic abc"};
    const auto reply = server.request("OpKey_SyncWorkConfig", "reg-1^_7tok-2^_7https://push.example/v3^_7Basic abc");
    EXPECT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, "reg-1^_7tok-2^_7https://push.example/v3^_7Basic abc");
    EXPECT_EQ(stored(), first);
    // Four empty fields split into nothing, three are too few: no reply, nothing changed.
    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "^_7^_7^_7").bytes, "");
    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "id^_7token^_7url").bytes, "");
    EXPECT_EQ(stored(), first);
    // A fifth field is ignored.
    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "a^_7b^_7c^_7d^_7e").bytes, "a^_7b^_7c^_7d");
    EXPECT_EQ(stored(), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(Dispatch, TheClipboardWatchSwitchReadsTheBodyAsANumber)
{
    for (const char* body : {"1", "0", "7", "", "abc", "-2"})
        server.request("OpKey_SyncWork", body);
    EXPECT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.pasteboardCalls().size() == 6; }));
    EXPECT_EQ(delegate.pasteboardCalls(), (std::vector<std::string>{"start", "stop", "start", "stop", "stop", "start"}));
}

TEST_F(Dispatch, AScanReportNamedExactlyClosesThePairingWindowAndGetsAnEmptyReply)
{
    for (const char* head : {"OpKey_ScanConnect ", "opkey_scanconnect", "OpKey_ScanConnect\nx"})
        EXPECT_EQ(server.request(head, "").bytes, "") << head;
    EXPECT_EQ(delegate.closeQRCodeCalls(), 0);
    const auto reply = server.request("OpKey_ScanConnect", "anything");
    EXPECT_EQ(reply.result, NR_OK);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_EQ(delegate.closeQRCodeCalls(), 1);
    // Bodies that an operation does not use are ignored.
    EXPECT_EQ(server.request("OpKey_GetDeviceInfo", "a body that is ignored").bytes,
              server.request("OpKey_GetDeviceInfo", "").bytes);
}
