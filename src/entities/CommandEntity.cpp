#include "CommandEntity.h"

#include "EventPoster.h"
#include "ProcessRunner.h"
#include "ResourceFiles.h"

#include <string>

namespace {

// A script still running after this long is ended with its children; the
// calling connection (or the schedule's tick) waits for it until then.
constexpr int kScriptTimeLimitSeconds = 120;

// The script resource of each command type 0 to 13.
const char* const kScriptNames[] = {
    "shutdown.sh",    "sleep.sh",         "restart.sh",     "logout.sh",        "volume_add.sh",
    "volume_des.sh",  "volume_off.sh",    "volume_on.sh",   "iTunes_play.sh",   "iTunes_playpause.sh",
    "iTunes_next.sh", "iTunes_pre.sh",    "iTunes_sound_add.sh", "iTunes_sound_des.sh",
};

} // namespace

void CommandEntity::Exec(CommandType type)
{
    if (type == Command_Wake) {
        EventPoster::instance().declareUserActivity();
        return;
    }
    if (type < Command_Shutdown || type > Command_MusicSoundDes)
        return;
    const std::string script = ResourceFiles::find(kScriptNames[type]);
    if (script.empty())
        return;
    // The script's own message on standard error tells why it failed; the
    // phone is told nothing either way.
    ProcessRunner::run({"/bin/sh", script}, kScriptTimeLimitSeconds);
}
