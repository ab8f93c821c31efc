#!/bin/sh
# Shuts the computer down.
if ! command -v systemctl >/dev/null 2>&1; then
    echo "shutdown.sh: systemctl is not installed" >&2
    exit 127
fi
exec systemctl poweroff
