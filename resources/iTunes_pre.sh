#!/bin/sh
# Goes back to the previous track.
if ! command -v playerctl >/dev/null 2>&1; then
    echo "iTunes_pre.sh: playerctl is not installed" >&2
    exit 127
fi
exec playerctl previous
