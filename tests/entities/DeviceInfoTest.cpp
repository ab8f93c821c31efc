// Device information, remote scripts and the push settings, over loopback
// against the real service with the settings in a private home.
#include "Config.h"
#include "InProcessServer.h"
#include "RecordingDelegate.h"
#include "SCommon.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Fields each ended by "^_7", empty ones kept in place.
std::vector<std::string> TerminatedFields(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("^_7", start)) != std::string::npos; start = end + 3)
        fields.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last terminator: " << text.substr(start);
    return fields;
}

} // namespace

TEST(DeviceInfo, DescribesTheHostInTenTerminatedFields)
{
    UserSandbox user;
    InProcessServer server;
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);

    std::vector<std::string> fields = TerminatedFields(server.request("OpKey_GetDeviceInfo", "ignored body").bytes);
    ASSERT_EQ(fields.size(), 10u);
    EXPECT_EQ(fields[0], "2");
    EXPECT_EQ(fields[1], hostName());
    EXPECT_FALSE(fields[1].empty());
    EXPECT_EQ(fields[2], me->pw_name);
    EXPECT_EQ(fields[3], me->pw_dir);
    EXPECT_EQ(fields[4], ""); // no password set
    EXPECT_EQ(fields[5], "180");
    EXPECT_EQ(fields[6], "0");
    EXPECT_EQ(fields[7], user.documents());
    EXPECT_EQ(fields[8], user.desktop());
    EXPECT_EQ(fields[9], "1"); // starts at login unless the user turned it off

    Config::setConnPwd("s3cret pass");
    Config::setAutoStart(false);
    fields = TerminatedFields(server.request("OpKey_GetDeviceInfo").bytes);
    ASSERT_EQ(fields.size(), 10u);
    EXPECT_EQ(fields[4], "s3cret pass");
    EXPECT_EQ(fields[9], "0");
}

TEST(RemoteScript, IsRefusedUnlessTheUserAllowedIt)
{
    UserSandbox user;
    TempDir dir;
    InProcessServer server;
    const std::string marker = dir.file("ran");
    const std::string script = "touch '" + marker + "'";

    EXPECT_EQ(server.request("OpKey_Shell", script).bytes, "0");
    EXPECT_FALSE(std::filesystem::exists(marker));

    Config::setShellAllowed(true);
    EXPECT_EQ(server.request("OpKey_Shell", script + "; exit 0").bytes, "1");
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_EQ(server.request("OpKey_Shell", "exit 3").bytes, "0");
    EXPECT_EQ(server.request("OpKey_Shell", "if then fi (").bytes, "0"); // syntax error

    Config::setShellAllowed(false);
    std::filesystem::remove(marker);
    EXPECT_EQ(server.request("OpKey_Shell", script).bytes, "0");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(WorkSync, SettingsAreStoredAndSentBack)
{
    UserSandbox user;
    InProcessServer server;

    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "reg-1^_7token-2^_7http://127.0.0.1:9/push^_7Basic abc=").bytes,
              "reg-1^_7token-2^_7http://127.0.0.1:9/push^_7Basic abc=");
    EXPECT_EQ(Config::getPushRegestId(), "reg-1");
    EXPECT_EQ(Config::getPushDeviceToken(), "token-2");
    EXPECT_EQ(Config::getPushURL(), "http://127.0.0.1:9/push");
    EXPECT_EQ(Config::getPushAuthorInfo(), "Basic abc=");

    // Four empty fields split into nothing: nothing is stored, nothing sent.
    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "^_7^_7^_7").bytes, "");
    EXPECT_EQ(Config::getPushRegestId(), "reg-1");
    EXPECT_EQ(Config::getPushAuthorInfo(), "Basic abc=");

    // A fifth field is ignored.
    EXPECT_EQ(server.request("OpKey_SyncWorkConfig", "a^_7b^_7c^_7d^_7e").bytes, "a^_7b^_7c^_7d");
    EXPECT_EQ(Config::getPushAuthorInfo(), "d");
}

TEST(WorkSync, SwitchesTheClipboardWatchThroughTheDelegate)
{
    UserSandbox user;
    RecordingDelegate delegate;
    InProcessServer server;

    for (const char* flag : {"1", "0", "7", "", "abc"})
        EXPECT_EQ(server.request("OpKey_SyncWork", flag).bytes, "");
    ASSERT_TRUE(delegate.waitFor([](RecordingDelegate& d) { return d.pasteboardCalls().size() == 5; }));
    EXPECT_EQ(delegate.pasteboardCalls(),
              (std::vector<std::string>{"start", "stop", "start", "stop", "stop"}));
}
