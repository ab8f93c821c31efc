#!/bin/sh
# Starts playback in the music player.
if ! command -v playerctl >/dev/null 2>&1; then
    echo "iTunes_play.sh: playerctl is not installed" >&2
    exit 127
fi
exec playerctl play
