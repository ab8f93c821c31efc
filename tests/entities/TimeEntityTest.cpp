#include "CData.h"
#include "SCommon.h"
#include "StdoutCapture.h"
#include "StubTools.h"
#include "TempDir.h"
#include "TimeEntity.h"
#include "UserSandbox.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

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

std::vector<long> Types(const std::vector<Entry>& entries)
{
    std::vector<long> types;
    for (const Entry& e : entries)
        types.push_back(e.type);
    return types;
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

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Every schedule test runs with recording stand-ins of the power tools, and
// leaves nothing pending: a due entry must never reach a real tool.
class Schedules : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox.set("CORVANE_RESOURCE_DIR", CORVANE_SOURCE_DIR "/resources");
        CancelAll();
    }
    void TearDown() override { CancelAll(); }

    static void CancelAll()
    {
        for (int type = 0; type <= 4; ++type)
            Schedule(Schedule_Cancel, type, 0);
    }

    StubTools stubs{{"systemctl", "loginctl", "pactl", "amixer", "playerctl"}};
    UserSandbox sandbox;
};

TEST_F(Schedules, AddsReplacesCancelsAndListsOneEntryPerKind)
{
    const long before = static_cast<long>(std::time(nullptr));
    std::vector<Entry> list = Schedule(Schedule_Add, TimeSchedule_Shutdown, 3600);
    const long after = static_cast<long>(std::time(nullptr));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].type, 0);
    EXPECT_GE(list[0].setTime, before);
    EXPECT_LE(list[0].setTime, after);
    EXPECT_EQ(list[0].delay, 3600);
    EXPECT_LE(list[0].remaining, 3600);
    EXPECT_GE(list[0].remaining, list[0].setTime + 3600 - static_cast<long>(std::time(nullptr)));

    list = Schedule(Schedule_Add, TimeSchedule_Sleep, 60);
    EXPECT_EQ(Types(list), (std::vector<long>{0, 1}));
    EXPECT_EQ(list[1].delay, 60);

    // Adding a pending kind again moves it to the end with its new delay.
    list = Schedule(Schedule_Add, TimeSchedule_Shutdown, 7200);
    EXPECT_EQ(Types(list), (std::vector<long>{1, 0}));
    EXPECT_EQ(list[1].delay, 7200);

    // Cancelling a kind that is not pending, or any other command, lists.
    EXPECT_EQ(Types(Schedule(Schedule_Cancel, TimeSchedule_Restart, 0)), (std::vector<long>{1, 0}));
    EXPECT_EQ(Types(Schedule(2, TimeSchedule_Logout, 5)), (std::vector<long>{1, 0}));
    EXPECT_EQ(Types(Pending()), (std::vector<long>{1, 0}));

    EXPECT_EQ(Types(Schedule(Schedule_Cancel, TimeSchedule_Sleep, 0)), (std::vector<long>{0}));
    CData empty;
    TimeEntity::TimeSchedule(Schedule_Cancel, TimeSchedule_Shutdown, 0, &empty);
    EXPECT_EQ(empty.size, 0) << "an empty list is an empty reply";
    EXPECT_TRUE(stubs.calls().empty());
}

TEST_F(Schedules, TheReplyIsTheExactRecordText)
{
    CData reply;
    TimeEntity::TimeSchedule(Schedule_Add, TimeSchedule_Logout, 90, &reply);
    const Entry e = Parse(reply).at(0);
    EXPECT_EQ(std::string(reply.Text()), "3^%_" + std::to_string(e.setTime) + "^%_90^%_" +
                                             std::to_string(e.remaining) + "^_7");
}

TEST_F(Schedules, UnknownKindsAreRefusedWithAnEmptyReply)
{
    Schedule(Schedule_Add, TimeSchedule_Wake, 3600);
    for (const int type : {5, -1, 100}) {
        CData reply;
        TimeEntity::TimeSchedule(Schedule_Add, static_cast<TimeScheduleType>(type), 10, &reply);
        EXPECT_EQ(reply.size, 0) << type;
    }
    EXPECT_EQ(Types(Pending()), (std::vector<long>{4}));
    EXPECT_EQ(Types(Schedule(Schedule_Cancel, 7, 0)), (std::vector<long>{4}));
}

TEST_F(Schedules, DelaysOfAnySizeNeitherOverflowNorWrap)
{
    std::vector<Entry> list = Schedule(Schedule_Add, TimeSchedule_Restart, LONG_MAX);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].delay, LONG_MAX);
    EXPECT_GT(list[0].remaining, 0) << "due at the far end of time";
    list = Schedule(Schedule_Add, TimeSchedule_Wake, LONG_MIN);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_LT(list[1].remaining, 0) << "already due";
}

TEST_F(Schedules, ADueEntryRunsAtTheNextTickLeavesTheListAndTheTimerStops)
{
    StdoutCapture output(sandbox.root().file("stdout"));
    Schedule(Schedule_Add, TimeSchedule_Restart, 3600);
    Schedule(Schedule_Add, TimeSchedule_Sleep, 0);
    Schedule(Schedule_Add, TimeSchedule_Wake, -30);
    ASSERT_TRUE(WaitFor([&] { return Pending().size() == 1; }));
    EXPECT_EQ(stubs.calls(), std::vector<std::string>{"systemctl suspend"});
    EXPECT_EQ(Types(Pending()), (std::vector<long>{2}));

    // The restart is cancelled; the next tick finds the list empty and
    // stops the timer: no tick follows the one that logged the stop.
    Schedule(Schedule_Cancel, TimeSchedule_Restart, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const std::vector<std::string> lines = output.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "time schedule ok!!!"), 2);
    const long ticks = std::count(lines.begin(), lines.end(), "alarm_handler");
    EXPECT_GE(ticks, 2);
    EXPECT_LE(ticks, 3) << "the timer kept ticking after the list emptied";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "alarm_handler");
    EXPECT_EQ(stubs.calls(), std::vector<std::string>{"systemctl suspend"});
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
            // Every thread ends by adding all five kinds.
            for (int type = 0; type < 5; ++type)
                Schedule(Schedule_Add, type, 3600);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const std::vector<Entry> list = Pending();
    ASSERT_EQ(list.size(), 5u);
    std::set<long> kinds;
    for (const Entry& e : list)
        kinds.insert(e.type);
    EXPECT_EQ(kinds, (std::set<long>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(stubs.calls().empty());
}

} // namespace
