#!/bin/sh
# Lowers the music player's volume.
if ! command -v playerctl >/dev/null 2>&1; then
    echo "iTunes_sound_des.sh: playerctl is not installed" >&2
    exit 127
fi
exec playerctl volume 0.05-
