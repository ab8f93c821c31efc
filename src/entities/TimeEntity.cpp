#include "TimeEntity.h"

#include "CData.h"
#include "CommandEntity.h"
#include "Log.h"
#include "SConfig.h"

#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// One pending entry.
struct ScheduleInfo {
    TimeScheduleType type;
    long setTime; // seconds since 1970 when it was added
    long delay;   // seconds after setTime at which it is due
};

// The process-wide list of pending entries. Its lock also covers the tick's
// scan, so a request never sees the list halfway through a tick.
struct ScheduleList {
    std::mutex lock;
    std::vector<ScheduleInfo> entries;
};

// The one-second interval timer: a thread of its own that calls
// alarm_handler while the timer runs. Started on first use and kept for the
// life of the process.
class TickTimer {
public:
    // Starts (or restarts) the period: first tick one second from now.
    void Start()
    {
        std::lock_guard guard(mutex);
        running = true;
        next = std::chrono::steady_clock::now() + kPeriod;
        if (!threadStarted) {
            threadStarted = true;
            std::thread([this] { Loop(); }).detach();
        }
        changed.notify_all();
    }

    void Stop()
    {
        std::lock_guard guard(mutex);
        running = false;
        changed.notify_all();
    }

private:
    static constexpr std::chrono::seconds kPeriod{1};

    void Loop()
    {
        std::unique_lock guard(mutex);
        for (;;) {
            changed.wait(guard, [this] { return running; });
            const auto due = next;
            // Woken early by a stop or a restart: wait for the new state.
            if (changed.wait_until(guard, due, [&] { return !running || next != due; }))
                continue;
            next = due + kPeriod;
            guard.unlock();
            TimeEntity::alarm_handler(SIGALRM);
            guard.lock();
            // A tick that ran a long command does not make up the missed
            // ones in a burst: the next comes a full period later.
            const auto now = std::chrono::steady_clock::now();
            if (next <= now)
                next = now + kPeriod;
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    bool threadStarted = false;
    std::chrono::steady_clock::time_point next;
};

// Both live for the whole process (never destroyed, so the detached tick
// thread can never outlive them).
ScheduleList& List()
{
    static ScheduleList* list = new ScheduleList;
    return *list;
}

TickTimer& Timer()
{
    static TickTimer* timer = new TickTimer;
    return *timer;
}

bool KnownType(int type)
{
    return type >= TimeSchedule_Shutdown && type <= TimeSchedule_Wake;
}

CommandType CommandOf(TimeScheduleType type)
{
    return type == TimeSchedule_Wake ? Command_Wake : static_cast<CommandType>(type);
}

// a + b and a - b held within the range of long: a delay of any size from
// the phone gives a due time at the far end of time instead of overflowing.
long SaturatedAdd(long a, long b)
{
    long sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? (b > 0 ? LONG_MAX : LONG_MIN) : sum;
}

long SaturatedSub(long a, long b)
{
    long difference = 0;
    return __builtin_sub_overflow(a, b, &difference) ? (b < 0 ? LONG_MAX : LONG_MIN) : difference;
}

long DueTime(const ScheduleInfo& info)
{
    return SaturatedAdd(info.setTime, info.delay);
}

void LogLine(const char* line)
{
    Log::Printf("%s", line);
}

// The list reply; the caller holds the list lock.
void FillReply(const std::vector<ScheduleInfo>& entries, CData* reply)
{
    if (reply == nullptr)
        return;
    const long now = static_cast<long>(std::time(nullptr));
    std::string text;
    char record[160];
    for (const ScheduleInfo& info : entries) {
        const int length = std::snprintf(record, sizeof record, "%d%s%ld%s%ld%s%ld%s", static_cast<int>(info.type),
                                         SConfig::kRecordSep, info.setTime, SConfig::kRecordSep, info.delay,
                                         SConfig::kRecordSep, SaturatedSub(DueTime(info), now), SConfig::kFieldSep);
        if (length > 0)
            text.append(record, static_cast<std::size_t>(length));
    }
    reply->SetData(text.data(), static_cast<long long>(text.size()));
}

void RemoveType(std::vector<ScheduleInfo>& entries, int type)
{
    std::erase_if(entries, [type](const ScheduleInfo& info) { return info.type == type; });
}

} // namespace

void TimeEntity::TimeSchedule(ScheduleCmd cmd, TimeScheduleType type, long delay, CData* reply)
{
    ScheduleList& list = List();
    if (cmd == Schedule_Add) {
        if (!KnownType(type))
            return;
        std::lock_guard guard(list.lock);
        alarm_start();
        const long now = static_cast<long>(std::time(nullptr));
        RemoveType(list.entries, type);
        list.entries.push_back({type, now, delay});
        FillReply(list.entries, reply);
        return;
    }
    std::lock_guard guard(list.lock);
    if (cmd == Schedule_Cancel)
        RemoveType(list.entries, type);
    FillReply(list.entries, reply);
}

void TimeEntity::GetTimeSchedule(CData* reply)
{
    ScheduleList& list = List();
    std::lock_guard guard(list.lock);
    FillReply(list.entries, reply);
}

void TimeEntity::alarm_start()
{
    Timer().Start();
}

void TimeEntity::alarm_stop()
{
    Timer().Stop();
}

void TimeEntity::alarm_handler(int)
{
    // The due entries leave the list under its lock; their commands run
    // after it is released, so that requests are answered while a command
    // runs (a shutdown script may take its full time limit).
    std::vector<TimeScheduleType> due;
    {
        ScheduleList& list = List();
        std::lock_guard guard(list.lock);
        LogLine("alarm_handler\n");
        for (auto it = list.entries.begin(); it != list.entries.end();) {
            if (static_cast<long>(std::time(nullptr)) < DueTime(*it)) {
                ++it;
                continue;
            }
            due.push_back(it->type);
            it = list.entries.erase(it);
        }
        if (list.entries.empty())
            alarm_stop();
    }
    for (const TimeScheduleType type : due) {
        LogLine("time schedule ok!!!\n");
        // Blocks until the command's script has ended; its outcome is not
        // examined and the entry is gone either way.
        CommandEntity::Exec(CommandOf(type));
    }
}
