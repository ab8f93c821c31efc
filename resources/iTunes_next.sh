#!/bin/sh
# Skips to the next track.
if ! command -v playerctl >/dev/null 2>&1; then
    echo "iTunes_next.sh: playerctl is not installed" >&2
    exit 127
fi
exec playerctl next
