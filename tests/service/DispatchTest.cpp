#include "Config.h"
#include "InProcessServer.h"
#include "Phone.h"
#include "RecordingDelegate.h"
#include "RecordingEventPoster.h"
#include "SCommon.h"
#include "StdoutCapture.h"
#include "UserSandbox.h"

#include <algorithm>
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

TEST_F(Dispatch, TheLogShowsTypedTextScriptsAndCredentialsOnlyByTheirLength)
{
    RecordingEventPoster poster;
    EventPoster::setInstance(&poster);
    std::vector<std::string> lines;
    {
        StdoutCapture capture(sandbox.root().file("log"));
        server.request("OpKey_WriteStr", "typed secret");
        server.request("OpKey_SyncWorkConfig", "reg^_7tok^_7https://push.example/secret^_7Basic secret");
        server.request("OpKey_Shell", "echo secret");
        server.request("OpKey_GetFileList", "/no/such/folder");
        Phone(server.port()).send({{MsgType_Text, "live secret"}}); // and closes the live channel
        ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.counts().size() == 2; }));
        lines = capture.lines();
    }
    EventPoster::setInstance(nullptr);
    const auto logged = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("secret") != l.npos; }), 0);
    EXPECT_EQ(logged("[Body]:<12 bytes>"), 1);
    EXPECT_EQ(logged("[Body]:<11 bytes>"), 1);
    EXPECT_EQ(logged("[Body]:/no/such/folder"), 1); // paths and numbers keep their text
    EXPECT_EQ(logged("<11 bytes>"), 1);             // the live channel's text
}
