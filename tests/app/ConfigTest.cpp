#include "Config.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> AutostartFiles(const UserSandbox& sandbox)
{
    std::vector<std::string> names;
    const std::string folder = sandbox.configHome() + "/autostart";
    if (!std::filesystem::exists(folder))
        return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string EntryFor(const std::string& program, bool ours)
{
    return "[Desktop Entry]\nType=Application\nName=Corvane\nExec=\"" + program + "\" --headless\n" +
           (ours ? "X-Corvane-Id=org.corvane.Corvane\n" : "");
}

} // namespace

TEST(Config, AFreshUserGetsTheDefaults)
{
    UserSandbox sandbox;
    EXPECT_TRUE(Config::isFirstStart());
    EXPECT_TRUE(Config::isAutoStart());
    EXPECT_TRUE(Config::isLanOnly());
    EXPECT_FALSE(Config::isShellAllowed());
    EXPECT_EQ(Config::getConnPwd(), "");
    EXPECT_EQ(Config::getPushRegestId(), "");
    EXPECT_EQ(Config::getPushDeviceToken(), "");
    EXPECT_EQ(Config::getPushURL(), "");
    EXPECT_EQ(Config::getPushAuthorInfo(), "");
    EXPECT_FALSE(std::filesystem::exists(Config::settingsPath()));
}

TEST(Config, WritesThroughToAPrivateFileInTheConfigFolder)
{
    UserSandbox sandbox;
    Config::setConnPwd(" secret with spaces ");
    Config::setIsFirstStart(false);
    Config::setShellAllowed(true);
    const std::string path = Config::settingsPath();
    EXPECT_EQ(path, sandbox.configHome() + "/corvane/corvane.conf");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(TempDir::read(path).find("conn_pwd"), std::string::npos);
    EXPECT_EQ(Config::getConnPwd(), " secret with spaces ");
    EXPECT_FALSE(Config::isFirstStart());
    EXPECT_TRUE(Config::isShellAllowed());
}

TEST(Config, ClearingAStringStoresTheEmptyText)
{
    UserSandbox sandbox;
    Config::setConnPwd("pw");
    Config::setConnPwd(nullptr);
    EXPECT_EQ(Config::getConnPwd(), "");
    Config::setPushURL("http://127.0.0.1/x");
    Config::setPushURL("");
    EXPECT_EQ(Config::getPushURL(), "");
    Config::setPushRegestId("中文 ^_7 id");
    EXPECT_EQ(Config::getPushRegestId(), "中文 ^_7 id");
}

TEST(LoginItems, SwitchingOnLeavesExactlyOneEntryForThisProgram)
{
    UserSandbox sandbox;
    TempDir elsewhere;
    const std::string otherCopy = elsewhere.write("corvane", "#!/bin/sh\n");
    sandbox.root().write("config/autostart/corvane-old.desktop", EntryFor(otherCopy, true));
    sandbox.root().write("config/autostart/corvane.desktop", EntryFor(Config::programPath(), true));
    sandbox.root().write("config/autostart/unrelated.desktop", EntryFor("/bin/true", false));

    Config::setAutoStart(true);
    EXPECT_TRUE(Config::isAutoStart());
    EXPECT_EQ(AutostartFiles(sandbox), (std::vector<std::string>{"corvane.desktop", "unrelated.desktop"}));
    const std::string entry = TempDir::read(sandbox.configHome() + "/autostart/corvane.desktop");
    EXPECT_NE(entry.find("Exec=\"" + Config::programPath() + "\""), std::string::npos) << entry;
    EXPECT_NE(entry.find("X-Corvane-Id=org.corvane.Corvane"), std::string::npos);

    Config::setAutoStart(true);
    EXPECT_EQ(AutostartFiles(sandbox).size(), 2u);
}

TEST(LoginItems, SwitchingOffRemovesOnlyTheEntryOfThisCopy)
{
    UserSandbox sandbox;
    TempDir elsewhere;
    const std::string otherCopy = elsewhere.write("corvane", "#!/bin/sh\n");
    Config::setAutoStart(true);
    sandbox.root().write("config/autostart/corvane-other.desktop", EntryFor(otherCopy, true));

    Config::setAutoStart(false);
    EXPECT_FALSE(Config::isAutoStart());
    EXPECT_EQ(AutostartFiles(sandbox), (std::vector<std::string>{"corvane-other.desktop"}));
}

TEST(LoginItems, EntriesWhoseProgramIsGoneAreLeftAlone)
{
    UserSandbox sandbox;
    sandbox.root().write("config/autostart/stale.desktop", EntryFor("/nonexistent/corvane", true));
    Config::deleteAllMyAppLoginItem();
    Config::deleteAppFromLoginItem();
    EXPECT_EQ(AutostartFiles(sandbox), (std::vector<std::string>{"stale.desktop"}));
}

TEST(LoginItems, APathWithBlanksAndQuotesSurvivesTheRoundTrip)
{
    UserSandbox sandbox;
    TempDir elsewhere;
    const std::string odd = elsewhere.write("my \"odd\" $dir\\x/corvane", "#!/bin/sh\n");
    // Quoted as an Exec argument, then escaped once more as a value.
    std::string quoted = "\"";
    for (const char c : odd) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += "\"";
    std::string exec;
    for (const char c : quoted)
        exec += c == '\\' ? std::string("\\\\") : std::string(1, c);
    sandbox.root().write("config/autostart/odd.desktop",
                         "[Desktop Entry]\nType=Application\nExec=" + exec + "\nX-Corvane-Id=org.corvane.Corvane\n");
    Config::deleteAllMyAppLoginItem();
    EXPECT_TRUE(AutostartFiles(sandbox).empty());
}
