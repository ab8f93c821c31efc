#include "TimeEntity.h"

void TimeEntity::TimeSchedule(ScheduleCmd, TimeScheduleType, long, CData*) {}
void TimeEntity::GetTimeSchedule(CData*) {}
void TimeEntity::alarm_start() {}
void TimeEntity::alarm_stop() {}
void TimeEntity::alarm_handler(int) {}
