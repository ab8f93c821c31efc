// Device information and remote scripts through a live server on loopback,
// with settings in a private home.
#include "Config.h"
#include "InProcessServer.h"
#include "SCommon.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace {

TEST(DeviceInfo, DescribesTheHostInTenTerminatedFields)
{
    UserSandbox user;
    InProcessServer server;
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    const std::string host = hostName();
    EXPECT_FALSE(host.empty());
    const auto info = [&](const std::string& password, const char* autoStart) {
        return "2^_7" + host + "^_7" + me->pw_name + "^_7" + user.home() + "^_7" + password + "^_7180^_70^_7" +
               user.documents() + "^_7" + user.desktop() + "^_7" + autoStart + "^_7";
    };
    // No password set; starts at login unless the user turned it off.
    EXPECT_EQ(server.request("OpKey_GetDeviceInfo", "ignored body").bytes, info("", "1"));
    Config::setConnPwd("s3cret pass");
    Config::setAutoStart(false);
    EXPECT_EQ(server.request("OpKey_GetDeviceInfo").bytes, info("s3cret pass", "0"));
}

TEST(RemoteScript, IsRefusedUnlessTheUserAllowedIt)
{
    UserSandbox user;
    InProcessServer server;
    const std::string marker = user.root().file("ran");
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

} // namespace
