#pragma once

// Whole-system actions, each run by a script resource of the same name.
enum CommandType : int {
    Command_Shutdown = 0,
    Command_Sleep = 1,
    Command_Restart = 2,
    Command_Logout = 3,
    Command_VolumeAdd = 4,
    Command_VolumeDes = 5,
    Command_VolumeOff = 6,
    Command_VolumeOn = 7,
    Command_MusicPlay = 8,
    Command_MusicPlayPause = 9,
    Command_MusicNext = 10,
    Command_MusicPre = 11,
    Command_MusicSoundAdd = 12,
    Command_MusicSoundDes = 13,
    Command_Wake = 14,
};

class CommandEntity {
public:
    CommandEntity() = delete;

    // Runs the action and returns when its script has ended.
    static void Exec(CommandType type);
};
