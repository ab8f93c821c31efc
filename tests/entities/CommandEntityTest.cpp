#include "ChildProcess.h"
#include "CommandEntity.h"
#include "DesktopCatalogue.h"
#include "ProcessRunner.h"
#include "StubTools.h"
#include "TempDir.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

// Xlib after GoogleTest: its macros (None, Bool, ...) clash with names in the test headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

const std::string kScripts = CORVANE_SOURCE_DIR "/resources";
const std::vector<std::string> kTools = {"systemctl", "loginctl", "pactl", "amixer", "playerctl"};

// PATH set for one test and put back afterwards.
class PathOverride {
public:
    explicit PathOverride(const std::string& path) : saved(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() { ::setenv("PATH", saved.c_str(), 1); }

private:
    std::string saved;
};

// Runs one of the project's scripts with /bin/sh.
ChildProcess::Result RunScript(const std::string& name)
{
    return ChildProcess::Run({"/bin/sh", kScripts + "/" + name});
}

// The commands run with the project's scripts and recording stand-ins of
// every tool they may call; the fixture checks that the stand-ins are the
// ones found before any command runs.
class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox.set("CORVANE_RESOURCE_DIR", kScripts);
        sandbox.set("XDG_SESSION_ID", "42");
        for (const std::string& tool : kTools)
            ASSERT_EQ(DesktopCatalogue::findProgram(tool), stubs.bin() + "/" + tool) << "stand-in not first in PATH";
    }

    // The calls recorded while type ran.
    std::vector<std::string> CallsOf(int type)
    {
        const std::size_t before = stubs.calls().size();
        CommandEntity::Exec(static_cast<CommandType>(type));
        const std::vector<std::string> all = stubs.calls();
        return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    }

    StubTools stubs{kTools};
    UserSandbox sandbox;
};

using Calls = std::vector<std::string>;

TEST_F(Commands, EachTypeRunsItsToolWithItsArguments)
{
    EXPECT_EQ(CallsOf(0), Calls{"systemctl poweroff"});
    EXPECT_EQ(CallsOf(1), Calls{"systemctl suspend"});
    EXPECT_EQ(CallsOf(2), Calls{"systemctl reboot"});
    EXPECT_EQ(CallsOf(3), Calls{"loginctl terminate-session 42"});
    EXPECT_EQ(CallsOf(4), (Calls{"pactl get-sink-volume @DEFAULT_SINK@", "pactl set-sink-volume @DEFAULT_SINK@ +5%"}));
    EXPECT_EQ(CallsOf(5), Calls{"pactl set-sink-volume @DEFAULT_SINK@ -5%"});
    EXPECT_EQ(CallsOf(6), Calls{"pactl set-sink-mute @DEFAULT_SINK@ 1"});
    EXPECT_EQ(CallsOf(7), Calls{"pactl set-sink-mute @DEFAULT_SINK@ 0"});
    EXPECT_EQ(CallsOf(8), Calls{"playerctl play"});
    EXPECT_EQ(CallsOf(9), Calls{"playerctl play-pause"});
    EXPECT_EQ(CallsOf(10), Calls{"playerctl next"});
    EXPECT_EQ(CallsOf(11), Calls{"playerctl previous"});
    EXPECT_EQ(CallsOf(12), Calls{"playerctl volume 0.05+"});
    EXPECT_EQ(CallsOf(13), Calls{"playerctl volume 0.05-"});
}

TEST_F(Commands, ValuesOutsideTheTableAndTheWakeRunNoScript)
{
    for (const int type : {-1, 14, 15, 100, -2147483647})
        EXPECT_EQ(CallsOf(type), Calls{}) << type;
}

TEST_F(Commands, ExecReturnsWhenTheScriptHasEnded)
{
    const std::string marker = sandbox.root().file("ended");
    stubs.define("systemctl", "sleep 0.3\necho done > '" + marker + "'\n");
    CommandEntity::Exec(Command_Sleep);
    EXPECT_EQ(TempDir::read(marker), "done\n");
}

TEST_F(Commands, LogOutFindsTheUsersGraphicalSessionWhenTheEnvironmentDoesNotNameIt)
{
    ::unsetenv("XDG_SESSION_ID");
    stubs.define("loginctl", "[ \"$1\" = show-user ] && echo c7\nexit 0\n");
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(CallsOf(3), (Calls{"loginctl show-user " + uid + " --property=Display --value",
                                 "loginctl terminate-session c7"}));

    // No graphical session: nothing is ended, and the script says why.
    stubs.define("loginctl", "exit 0\n");
    EXPECT_EQ(CallsOf(3), Calls{"loginctl show-user " + uid + " --property=Display --value"});
    const ChildProcess::Result logout = RunScript("logout.sh");
    EXPECT_EQ(logout.status, 1);
    EXPECT_EQ(logout.err, "logout.sh: no session of this user to end\n");
}

TEST_F(Commands, VolumeUpStopsAtFullVolume)
{
    stubs.define("pactl", "[ \"$1\" = get-sink-volume ] && echo 'Volume: front-left: 62259 /  95% / -1.34 dB,   "
                          "front-right: 62259 /  95% / -1.34 dB'\nexit 0\n");
    EXPECT_EQ(CallsOf(4), (Calls{"pactl get-sink-volume @DEFAULT_SINK@", "pactl set-sink-volume @DEFAULT_SINK@ 100%"}));
}

TEST_F(Commands, VolumeFallsBackToAmixerWithoutASoundServer)
{
    stubs.define("pactl", "exit 1\n");
    EXPECT_EQ(CallsOf(5), (Calls{"pactl set-sink-volume @DEFAULT_SINK@ -5%", "amixer -q set Master 5%-"}));
    EXPECT_EQ(CallsOf(6), (Calls{"pactl set-sink-mute @DEFAULT_SINK@ 1", "amixer -q set Master mute"}));
    EXPECT_EQ(CallsOf(7), (Calls{"pactl set-sink-mute @DEFAULT_SINK@ 0", "amixer -q set Master unmute"}));
    const Calls up = CallsOf(4);
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(up.back(), "amixer -q set Master 5%+");

    // And with pactl failing and no amixer, the script fails and says so.
    std::filesystem::remove(stubs.bin() + "/amixer");
    const PathOverride onlyStubs(stubs.bin());
    const ChildProcess::Result mute = RunScript("volume_off.sh");
    EXPECT_EQ(mute.status, 1);
    EXPECT_EQ(mute.err, "volume_off.sh: pactl failed and amixer is not installed\n");
}

TEST_F(Commands, AMissingToolFailsCleanlyWithOneLineOnStandardError)
{
    // Nothing but an empty folder in PATH: neither the stand-ins nor any
    // real tool can be reached.
    TempDir empty;
    const PathOverride nothing(empty.path());
    const std::pair<const char*, const char*> expected[] = {
        {"shutdown.sh", "shutdown.sh: systemctl is not installed\n"},
        {"sleep.sh", "sleep.sh: systemctl is not installed\n"},
        {"restart.sh", "restart.sh: systemctl is not installed\n"},
        {"logout.sh", "logout.sh: loginctl is not installed\n"},
        {"volume_add.sh", "volume_add.sh: neither pactl nor amixer is installed\n"},
        {"volume_des.sh", "volume_des.sh: neither pactl nor amixer is installed\n"},
        {"volume_off.sh", "volume_off.sh: neither pactl nor amixer is installed\n"},
        {"volume_on.sh", "volume_on.sh: neither pactl nor amixer is installed\n"},
        {"iTunes_play.sh", "iTunes_play.sh: playerctl is not installed\n"},
        {"iTunes_playpause.sh", "iTunes_playpause.sh: playerctl is not installed\n"},
        {"iTunes_next.sh", "iTunes_next.sh: playerctl is not installed\n"},
        {"iTunes_pre.sh", "iTunes_pre.sh: playerctl is not installed\n"},
        {"iTunes_sound_add.sh", "iTunes_sound_add.sh: playerctl is not installed\n"},
        {"iTunes_sound_des.sh", "iTunes_sound_des.sh: playerctl is not installed\n"},
    };
    for (const auto& [script, message] : expected) {
        const ChildProcess::Result run = RunScript(script);
        EXPECT_NE(run.status, 0) << script;
        EXPECT_EQ(run.err, message);
    }
    for (int type = 0; type <= 13; ++type)
        CommandEntity::Exec(static_cast<CommandType>(type));
    EXPECT_TRUE(stubs.calls().empty());
}

TEST_F(Commands, AMissingScriptRunsNothing)
{
    TempDir resources;
    std::filesystem::copy_file(kScripts + "/shutdown.sh", resources.file("shutdown.sh"));
    sandbox.set("CORVANE_RESOURCE_DIR", resources.path());
    EXPECT_EQ(CallsOf(Command_VolumeAdd), Calls{});
    EXPECT_EQ(CallsOf(Command_MusicPlay), Calls{});
    EXPECT_EQ(CallsOf(Command_Shutdown), Calls{"systemctl poweroff"});
}

TEST_F(Commands, WakeEndsTheScreenSaverUnderX)
{
    CORVANE_START_XVFB(x, 320, 240);
    Display* d = XOpenDisplay(x.display().c_str());
    ASSERT_NE(d, nullptr);
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    XForceScreenSaver(d, ScreenSaverActive);
    XSync(d, False);
    ASSERT_TRUE(XScreenSaverQueryInfo(d, DefaultRootWindow(d), info));
    ASSERT_EQ(info->state, ScreenSaverOn);

    EXPECT_EQ(CallsOf(Command_Wake), Calls{});
    ASSERT_TRUE(XScreenSaverQueryInfo(d, DefaultRootWindow(d), info));
    EXPECT_EQ(info->state, ScreenSaverOff);
    XFree(info);
    XCloseDisplay(d);
}

TEST(CommandScripts, AreShellcheckClean)
{
    if (DesktopCatalogue::findProgram("shellcheck").empty())
        GTEST_SKIP() << "shellcheck is not installed";
    std::vector<std::string> argv = {"shellcheck", "--shell=sh", "--severity=style"};
    int count = 0;
    for (const auto& file : std::filesystem::directory_iterator(kScripts)) {
        if (file.path().extension() == ".sh") {
            argv.push_back(file.path().string());
            ++count;
        }
    }
    EXPECT_EQ(count, 14);
    EXPECT_EQ(ProcessRunner::run(argv, 120), 0);
}

} // namespace
