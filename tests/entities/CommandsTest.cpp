// Power, volume and music commands and their time schedule, run with the
// project's scripts and recording stand-ins of every tool they may call.
#include "CData.h"
#include "ChildProcess.h"
#include "CommandEntity.h"
#include "DesktopCatalogue.h"
#include "Phone.h"
#include "ProcessRunner.h"
#include "RecordingEventPoster.h"
#include "SCommon.h"
#include "StdoutCapture.h"
#include "StubTools.h"
#include "TempDir.h"
#include "TimeEntity.h"
#include "UserSandbox.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>
#include <thread>
#include <unistd.h>

// Xlib after GoogleTest: its macros (None, Bool, ...) clash with names in the test headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

const std::string kScripts = CORVANE_SOURCE_DIR "/resources";
const std::vector<std::string> kTools = {"systemctl", "loginctl", "pactl", "amixer", "playerctl"};
using Calls = std::vector<std::string>;

// Runs one of the project's scripts with /bin/sh and PATH set to path:
// "<exit status> <standard error>".
std::string RunScript(const std::string& name, const std::string& path)
{
    const ChildProcess::Result run = ChildProcess::Run({"/usr/bin/env", "PATH=" + path, "/bin/sh", kScripts + "/" + name});
    return std::to_string(run.status) + " " + run.err;
}

// Checks that the stand-ins are the tools found before any command runs.
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
    Calls CallsOf(int type)
    {
        const std::size_t before = stubs.calls().size();
        CommandEntity::Exec(static_cast<CommandType>(type));
        const Calls all = stubs.calls();
        return Calls(all.begin() + static_cast<long>(before), all.end());
    }

    StubTools stubs{kTools};
    UserSandbox sandbox;
};

TEST_F(Commands, EachTypeRunsItsToolWithItsArgumentsAndOthersRunNothing)
{
    // By type, from 0; the wake (14) and the values past the table run nothing.
    const Calls byType[] = {
        {"systemctl poweroff"}, {"systemctl suspend"}, {"systemctl reboot"}, {"loginctl terminate-session 42"},
        {"pactl get-sink-volume @DEFAULT_SINK@", "pactl set-sink-volume @DEFAULT_SINK@ +5%"},
        {"pactl set-sink-volume @DEFAULT_SINK@ -5%"}, {"pactl set-sink-mute @DEFAULT_SINK@ 1"},
        {"pactl set-sink-mute @DEFAULT_SINK@ 0"}, {"playerctl play"}, {"playerctl play-pause"}, {"playerctl next"},
        {"playerctl previous"}, {"playerctl volume 0.05+"}, {"playerctl volume 0.05-"}};
    RecordingEventPoster poster;
    EventPoster::setInstance(&poster);
    for (int type = -1; type <= 16; ++type)
        EXPECT_EQ(CallsOf(type), type >= 0 && type < 14 ? byType[type] : Calls{}) << type;
    EXPECT_EQ(CallsOf(-2147483647), Calls{});
    EventPoster::setInstance(nullptr);
    // Only the wake (14) tells the desktop the user is active.
    ASSERT_EQ(poster.count(), 1u);
    EXPECT_EQ(poster.events()[0].kind, PostedEvent::Kind::UserActivity);

    // Exec returns once the script has ended.
    const std::string marker = sandbox.root().file("ended");
    stubs.define("systemctl", "sleep 0.3\necho done > '" + marker + "'\n");
    CommandEntity::Exec(Command_Sleep);
    EXPECT_EQ(TempDir::read(marker), "done\n");
}

TEST_F(Commands, LogOutFindsTheUsersGraphicalSessionWhenTheEnvironmentDoesNotNameIt)
{
    ::unsetenv("XDG_SESSION_ID");
    stubs.define("loginctl", "[ \"$1\" = show-user ] && echo c7\nexit 0\n");
    const std::string showUser = "loginctl show-user " + std::to_string(::getuid()) + " --property=Display --value";
    EXPECT_EQ(CallsOf(3), (Calls{showUser, "loginctl terminate-session c7"}));

    // No graphical session: nothing is ended, and the script says why.
    stubs.define("loginctl", "exit 0\n");
    EXPECT_EQ(CallsOf(3), Calls{showUser});
    EXPECT_EQ(RunScript("logout.sh", std::getenv("PATH")), "1 logout.sh: no session of this user to end\n");
}

TEST_F(Commands, VolumeStopsAtFullAndFallsBackToAmixerWithoutASoundServer)
{
    stubs.define("pactl", "[ \"$1\" = get-sink-volume ] && echo 'Volume: front-left: 62259 /  95% / -1.34 dB,   "
                          "front-right: 62259 /  95% / -1.34 dB'\nexit 0\n");
    EXPECT_EQ(CallsOf(4), (Calls{"pactl get-sink-volume @DEFAULT_SINK@", "pactl set-sink-volume @DEFAULT_SINK@ 100%"}));

    stubs.define("pactl", "exit 1\n");
    EXPECT_EQ(CallsOf(5), (Calls{"pactl set-sink-volume @DEFAULT_SINK@ -5%", "amixer -q set Master 5%-"}));
    EXPECT_EQ(CallsOf(6), (Calls{"pactl set-sink-mute @DEFAULT_SINK@ 1", "amixer -q set Master mute"}));
    EXPECT_EQ(CallsOf(7), (Calls{"pactl set-sink-mute @DEFAULT_SINK@ 0", "amixer -q set Master unmute"}));
    EXPECT_EQ(CallsOf(4), (Calls{"pactl get-sink-volume @DEFAULT_SINK@", "pactl set-sink-volume @DEFAULT_SINK@ +5%",
                                  "amixer -q set Master 5%+"}));

    std::filesystem::remove(stubs.bin() + "/amixer");
    EXPECT_EQ(RunScript("volume_off.sh", stubs.bin()), "1 volume_off.sh: pactl failed and amixer is not installed\n");
}

TEST_F(Commands, AMissingToolOrScriptFailsCleanly)
{
    TempDir empty; // alone in PATH: neither the stand-ins nor any real tool can be reached
    const std::pair<const char*, std::vector<const char*>> groups[] = {
        {"systemctl is not installed", {"shutdown", "sleep", "restart"}},
        {"loginctl is not installed", {"logout"}},
        {"neither pactl nor amixer is installed", {"volume_add", "volume_des", "volume_off", "volume_on"}},
        {"playerctl is not installed",
         {"iTunes_play", "iTunes_playpause", "iTunes_next", "iTunes_pre", "iTunes_sound_add", "iTunes_sound_des"}},
    };
    for (const auto& [message, scripts] : groups) {
        for (const std::string script : scripts)
            EXPECT_EQ(RunScript(script + ".sh", empty.path()), "127 " + script + ".sh: " + message + "\n");
    }
    // Scripts missing from the resources run nothing.
    TempDir resources;
    std::filesystem::copy_file(kScripts + "/shutdown.sh", resources.file("shutdown.sh"));
    sandbox.set("CORVANE_RESOURCE_DIR", resources.path());
    EXPECT_EQ(CallsOf(Command_VolumeAdd), Calls{});
    EXPECT_EQ(CallsOf(Command_MusicPlay), Calls{});
    EXPECT_EQ(CallsOf(Command_Shutdown), Calls{"systemctl poweroff"});

    // Commands whose tools are missing return without calling anything.
    sandbox.set("CORVANE_RESOURCE_DIR", kScripts);
    sandbox.set("PATH", empty.path());
    for (int type = 0; type <= 13; ++type)
        CommandEntity::Exec(static_cast<CommandType>(type));
    EXPECT_EQ(stubs.calls(), Calls{"systemctl poweroff"});
}

TEST_F(Commands, WakeEndsTheScreenSaverUnderX)
{
    CORVANE_START_XVFB(x, 320, 240);
    Display* d = XOpenDisplay(x.display().c_str());
    ASSERT_NE(d, nullptr);
    XScreenSaverInfo info{};
    XForceScreenSaver(d, ScreenSaverActive);
    XSync(d, False);
    ASSERT_TRUE(XScreenSaverQueryInfo(d, DefaultRootWindow(d), &info) && info.state == ScreenSaverOn);
    EXPECT_EQ(CallsOf(Command_Wake), Calls{});
    EXPECT_TRUE(XScreenSaverQueryInfo(d, DefaultRootWindow(d), &info) && info.state == ScreenSaverOff) << info.state;
    XCloseDisplay(d);
}

TEST(CommandScripts, AreShellcheckClean)
{
    if (DesktopCatalogue::findProgram("shellcheck").empty())
        GTEST_SKIP() << "shellcheck is not installed";
    std::vector<std::string> argv = {"shellcheck", "--shell=sh", "--severity=style"};
    for (const auto& file : std::filesystem::directory_iterator(kScripts)) {
        if (file.path().extension() == ".sh")
            argv.push_back(file.path().string());
    }
    EXPECT_EQ(ProcessRunner::run(argv, 120), 0);
}

struct Entry {
    long type, setTime, delay, remaining;
};

std::vector<Entry> Parse(const CData& reply)
{
    std::vector<Entry> entries;
    for (const std::string& record : split(std::string(reply.Text()), "^_7")) {
        const std::vector<std::string> f = split(record, "^%_");
        if (f.size() != 4)
            return {{-99, 0, 0, 0}}; // malformed: never equal to a real list
        entries.push_back({std::atol(f[0].c_str()), std::atol(f[1].c_str()), std::atol(f[2].c_str()),
                           std::atol(f[3].c_str())});
    }
    return entries;
}

// The kind and delay of each entry: the fields that do not move with the clock.
using Kinds = std::vector<std::pair<long, long>>;
Kinds KindsOf(const std::vector<Entry>& entries)
{
    Kinds kinds;
    for (const Entry& e : entries)
        kinds.emplace_back(e.type, e.delay);
    return kinds;
}

std::vector<Entry> Schedule(int cmd, int type, long delay)
{
    CData reply;
    TimeEntity::TimeSchedule(static_cast<ScheduleCmd>(cmd), static_cast<TimeScheduleType>(type), delay, &reply);
    return Parse(reply);
}

std::vector<Entry> Pending()
{
    CData reply;
    TimeEntity::GetTimeSchedule(&reply);
    return Parse(reply);
}

// Leaves nothing pending: a due entry must never reach a real tool.
class Schedules : public Commands {
protected:
    void SetUp() override
    {
        Commands::SetUp();
        CancelAll();
    }
    void TearDown() override { CancelAll(); }
    static void CancelAll()
    {
        for (int type = 0; type <= 4; ++type)
            Schedule(Schedule_Cancel, type, 0);
    }
};

TEST_F(Schedules, AddsReplacesCancelsAndListsOneEntryPerKind)
{
    const long before = static_cast<long>(std::time(nullptr));
    std::vector<Entry> list = Schedule(Schedule_Add, TimeSchedule_Shutdown, 3600);
    const long after = static_cast<long>(std::time(nullptr));
    ASSERT_EQ(KindsOf(list), (Kinds{{0, 3600}}));
    const Entry& e = list[0];
    EXPECT_TRUE(e.setTime >= before && e.setTime <= after) << e.setTime;
    EXPECT_TRUE(e.remaining <= 3600 && e.remaining >= e.setTime + 3600 - static_cast<long>(std::time(nullptr)))
        << e.remaining;

    // The reply holds the whole list, each entry's fields as the phone reads them.
    CData first;
    TimeEntity::TimeSchedule(Schedule_Add, TimeSchedule_Sleep, 60, &first);
    list = Parse(first);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::string(first.Text()), "0^%_" + std::to_string(list[0].setTime) + "^%_3600^%_" +
                                             std::to_string(list[0].remaining) + "^_71^%_" +
                                             std::to_string(list[1].setTime) + "^%_60^%_" +
                                             std::to_string(list[1].remaining) + "^_7");

    // Adding a pending kind again moves it to the end with its new delay.
    list = Schedule(Schedule_Add, TimeSchedule_Shutdown, 7200);
    const Kinds both = {{1, 60}, {0, 7200}};
    EXPECT_EQ(KindsOf(list), both);

    // Cancelling a kind that is not pending, or any other command, lists.
    EXPECT_EQ(KindsOf(Schedule(Schedule_Cancel, TimeSchedule_Restart, 0)), both);
    EXPECT_EQ(KindsOf(Schedule(2, TimeSchedule_Logout, 5)), both);
    EXPECT_EQ(KindsOf(Pending()), both);
    EXPECT_EQ(KindsOf(Schedule(Schedule_Cancel, TimeSchedule_Sleep, 0)), (Kinds{{0, 7200}}));
    CData empty;
    TimeEntity::TimeSchedule(Schedule_Cancel, TimeSchedule_Shutdown, 0, &empty);
    EXPECT_EQ(empty.size, 0) << "an empty list is an empty reply";
    EXPECT_TRUE(stubs.calls().empty());
}

TEST_F(Schedules, UnknownKindsAreRefusedAndDelaysOfAnySizeNeitherOverflowNorWrap)
{
    Schedule(Schedule_Add, TimeSchedule_Wake, 3600);
    for (const int type : {5, -1, 100}) {
        CData reply;
        TimeEntity::TimeSchedule(Schedule_Add, static_cast<TimeScheduleType>(type), 10, &reply);
        EXPECT_EQ(reply.size, 0) << type;
    }
    EXPECT_EQ(KindsOf(Schedule(Schedule_Cancel, 7, 0)), (Kinds{{4, 3600}}));
    Schedule(Schedule_Add, TimeSchedule_Restart, LONG_MAX);
    const std::vector<Entry> list = Schedule(Schedule_Add, TimeSchedule_Wake, LONG_MIN);
    ASSERT_EQ(KindsOf(list), (Kinds{{2, LONG_MAX}, {4, LONG_MIN}}));
    EXPECT_GT(list[0].remaining, 0) << "due at the far end of time";
    EXPECT_LT(list[1].remaining, 0) << "already due";
}

TEST_F(Schedules, ADueEntryRunsAtTheNextTickLeavesTheListAndTheTimerStops)
{
    StdoutCapture output(sandbox.root().file("stdout"));
    Schedule(Schedule_Add, TimeSchedule_Restart, 3600);
    Schedule(Schedule_Add, TimeSchedule_Sleep, 0);
    Schedule(Schedule_Add, TimeSchedule_Wake, -30);
    Eventually([] { return Pending().size() == 1; }, 10000);
    EXPECT_EQ(stubs.calls(), Calls{"systemctl suspend"});
    EXPECT_EQ(KindsOf(Pending()), (Kinds{{2, 3600}}));

    // The restart is cancelled; the next tick finds the list empty and
    // stops the timer: no tick follows the one that logged the stop.
    Schedule(Schedule_Cancel, TimeSchedule_Restart, 0);
    const auto count = [&output](const char* line) {
        const Calls lines = output.lines();
        return std::count(lines.begin(), lines.end(), line);
    };
    const long ticksBefore = count("alarm_handler");
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_EQ(count("time schedule ok!!!"), 2);
    ASSERT_GE(count("alarm_handler"), 2);
    EXPECT_LE(count("alarm_handler") - ticksBefore, 1) << "the timer kept ticking after the list emptied";
    EXPECT_EQ(output.lines().back(), "alarm_handler");
    EXPECT_EQ(stubs.calls(), Calls{"systemctl suspend"});
}

TEST_F(Schedules, RequestsAreAnsweredWhileADueCommandRuns)
{
    const std::string release = sandbox.root().file("release");
    stubs.define("systemctl", "while [ ! -e '" + release + "' ]; do sleep 0.05; done; rm '" + release + "'");
    Schedule(Schedule_Add, TimeSchedule_Sleep, 0);
    Eventually([&] { return !stubs.calls().empty(); }, 10000);
    ASSERT_EQ(stubs.calls(), Calls{"systemctl suspend"});
    auto listed = std::async(std::launch::async, [] { return Pending(); });
    const bool answered = listed.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    sandbox.root().write("release", "");
    EXPECT_TRUE(answered) << "the list waited for the command";
    EXPECT_TRUE(listed.get().empty());
    Eventually([&] { return !std::filesystem::exists(release); }, 10000); // the command has seen it
}

TEST_F(Schedules, ConcurrentRequestsKeepOneEntryPerKind)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                const int type = (t + i) % 5;
                Schedule(Schedule_Add, type, 3600 + i);
                if (i % 7 == 0)
                    Pending();
                if (i % 11 == 0)
                    Schedule(Schedule_Cancel, (type + 1) % 5, 0);
            }
            for (int type = 0; type < 5; ++type) // every thread ends by adding all five kinds
                Schedule(Schedule_Add, type, 3600);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    Kinds kinds = KindsOf(Pending());
    std::sort(kinds.begin(), kinds.end());
    // Every thread ends by adding each kind with 3600.
    EXPECT_EQ(kinds, (Kinds{{0, 3600}, {1, 3600}, {2, 3600}, {3, 3600}, {4, 3600}}));
    EXPECT_TRUE(stubs.calls().empty());
}

} // namespace
