#include "Config.h"
#include "TempDir.h"
#include "UserSandbox.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace {

// The file names in the sandbox's autostart folder, sorted.
std::string AutostartFiles(const UserSandbox& sandbox)
{
    std::set<std::string> names;
    const std::string folder = sandbox.configHome() + "/autostart";
    std::error_code absent;
    for (const auto& entry : std::filesystem::directory_iterator(folder, absent))
        names.insert(entry.path().filename().string());
    std::string list;
    for (const std::string& name : names)
        list += name + " ";
    return list;
}

// A file's inode and modification time: a rewrite changes one of them.
std::string FileIdentity(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "absent ";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_nsec) + " ";
}

std::string EntryFor(const std::string& program, bool ours)
{
    return "[Desktop Entry]\nType=Application\nName=Corvane\nExec=\"" + program + "\" --headless\n" +
           (ours ? "X-Corvane-Id=org.corvane.Corvane\n" : "");
}

} // namespace

TEST(Config, DefaultsThenEveryChangeWrittenThroughToAPrivateFile)
{
    UserSandbox sandbox;
    EXPECT_TRUE(Config::isFirstStart());
    EXPECT_TRUE(Config::isAutoStart());
    EXPECT_TRUE(Config::isLanOnly());
    EXPECT_FALSE(Config::isShellAllowed());
    for (const std::string& value : {Config::getConnPwd(), Config::getPushRegestId(), Config::getPushDeviceToken(),
                                     Config::getPushURL(), Config::getPushAuthorInfo()})
        EXPECT_EQ(value, "");
    const std::string path = Config::settingsPath();
    EXPECT_EQ(path, sandbox.configHome() + "/corvane/corvane.conf");
    EXPECT_FALSE(std::filesystem::exists(path));

    Config::setConnPwd(" secret with spaces ");
    Config::setIsFirstStart(false);
    Config::setShellAllowed(true);
    Config::setPushRegestId("中文 ^_7 id");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(TempDir::read(path).find("conn_pwd"), std::string::npos);
    EXPECT_EQ(Config::getConnPwd(), " secret with spaces ");
    EXPECT_FALSE(Config::isFirstStart());
    EXPECT_TRUE(Config::isShellAllowed());
    EXPECT_EQ(Config::getPushRegestId(), "中文 ^_7 id");

    // Clearing a text stores the empty text.
    Config::setConnPwd(nullptr);
    EXPECT_EQ(Config::getConnPwd(), "");
    Config::setPushURL("http://127.0.0.1/x");
    Config::setPushURL("");
    EXPECT_EQ(Config::getPushURL(), "");
}

TEST(LoginItems, OnLeavesExactlyOneEntryForThisProgramAndOffRemovesOnlyItsOwn)
{
    UserSandbox sandbox;
    TempDir elsewhere;
    const std::string otherCopy = elsewhere.write("corvane", "#!/bin/sh\n");
    sandbox.root().write("config/autostart/corvane-old.desktop", EntryFor(otherCopy, true));
    sandbox.root().write("config/autostart/corvane.desktop", EntryFor(Config::programPath(), true));
    sandbox.root().write("config/autostart/unrelated.desktop", EntryFor("/bin/true", false));

    // Switched on (twice), the entries of every copy make way for one.
    for (int i = 0; i < 2; ++i)
        Config::setAutoStart(true);
    EXPECT_TRUE(Config::isAutoStart());
    EXPECT_EQ(AutostartFiles(sandbox), "corvane.desktop unrelated.desktop ");
    const std::string entry = TempDir::read(sandbox.configHome() + "/autostart/corvane.desktop");
    EXPECT_NE(entry.find("Exec=\"" + Config::programPath() + "\""), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nTryExec=" + Config::programPath() + "\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("X-Corvane-Id=org.corvane.Corvane"), std::string::npos);
    // Each start confirms the choice; with nothing new, no file is rewritten.
    const std::string entryPath = sandbox.configHome() + "/autostart/corvane.desktop";
    const std::string before = FileIdentity(entryPath) + FileIdentity(Config::settingsPath());
    Config::setAutoStart(true);
    EXPECT_EQ(FileIdentity(entryPath) + FileIdentity(Config::settingsPath()), before);

    sandbox.root().write("config/autostart/corvane-other.desktop", EntryFor(otherCopy, true));
    Config::setAutoStart(false);
    EXPECT_FALSE(Config::isAutoStart());
    EXPECT_EQ(AutostartFiles(sandbox), "corvane-other.desktop unrelated.desktop ");
}

TEST(LoginItems, EntriesOfMissingProgramsStayAndOddPathsAreRecognised)
{
    UserSandbox sandbox;
    TempDir elsewhere;
    const std::string odd = elsewhere.write("my \"odd\" $dir\\x/corvane", "#!/bin/sh\n");
    sandbox.root().write("config/autostart/stale.desktop", EntryFor("/nonexistent/corvane", true));
    // Quoted as an Exec argument, then escaped once more as a value.
    sandbox.root().write("config/autostart/odd.desktop",
                         "[Desktop Entry]\nType=Application\nExec=\"" + elsewhere.path() +
                             R"(/my \\"odd\\" \\$dir\\\\x/corvane")" + "\nX-Corvane-Id=org.corvane.Corvane\n");
    Config::deleteAppFromLoginItem();
    EXPECT_EQ(AutostartFiles(sandbox), "odd.desktop stale.desktop ");
    Config::deleteAllMyAppLoginItem();
    EXPECT_EQ(AutostartFiles(sandbox), "stale.desktop ");
}
