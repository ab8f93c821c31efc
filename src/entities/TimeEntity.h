#pragma once

class CData;

// What an "OpKey_TimeSchedule" request does.
enum ScheduleCmd : int {
    Schedule_Add = 0,
    Schedule_Cancel = 1,
};

// Kind of a pending entry.
enum TimeScheduleType : int {
    TimeSchedule_Shutdown = 0,
    TimeSchedule_Sleep = 1,
    TimeSchedule_Restart = 2,
    TimeSchedule_Logout = 3,
    TimeSchedule_Wake = 4,
};

// The timed power schedule: at most one pending entry per kind, checked
// every second while entries exist.
class TimeEntity {
public:
    TimeEntity() = delete;

    static void TimeSchedule(ScheduleCmd cmd, TimeScheduleType type, long delay, CData* reply);
    static void GetTimeSchedule(CData* reply);

    static void alarm_start();
    static void alarm_stop();
    static void alarm_handler(int signal);
};
