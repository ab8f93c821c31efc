#!/bin/sh
# Restarts the computer.
if ! command -v systemctl >/dev/null 2>&1; then
    echo "restart.sh: systemctl is not installed" >&2
    exit 127
fi
exec systemctl reboot
