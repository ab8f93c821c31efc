#!/bin/sh
# Puts the computer to sleep.
if ! command -v systemctl >/dev/null 2>&1; then
    echo "sleep.sh: systemctl is not installed" >&2
    exit 127
fi
exec systemctl suspend
