#!/bin/sh
# Lowers the output volume by 5%.
# PulseAudio or PipeWire through pactl; ALSA's amixer when pactl is missing
# or has no sound server to talk to.
if command -v pactl >/dev/null 2>&1 && pactl set-sink-volume @DEFAULT_SINK@ -5%; then
    exit 0
fi
if command -v amixer >/dev/null 2>&1; then
    exec amixer -q set Master 5%-
fi
if command -v pactl >/dev/null 2>&1; then
    echo "volume_des.sh: pactl failed and amixer is not installed" >&2
    exit 1
fi
echo "volume_des.sh: neither pactl nor amixer is installed" >&2
exit 127
