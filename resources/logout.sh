#!/bin/sh
# Logs the user out: ends this desktop session, or, when the session is not
# known from the environment, the user's graphical session.
if ! command -v loginctl >/dev/null 2>&1; then
    echo "logout.sh: loginctl is not installed" >&2
    exit 127
fi
session=${XDG_SESSION_ID:-}
if [ -z "$session" ]; then
    session=$(loginctl show-user "$(id -u)" --property=Display --value 2>/dev/null)
fi
if [ -z "$session" ]; then
    echo "logout.sh: no session of this user to end" >&2
    exit 1
fi
exec loginctl terminate-session "$session"
