#!/bin/sh
# Raises the output volume by 5%, up to 100% (no amplification past it).
# PulseAudio or PipeWire through pactl; ALSA's amixer when pactl is missing
# or has no sound server to talk to.
raise() {
    current=$(pactl get-sink-volume @DEFAULT_SINK@ 2>/dev/null |
        sed -n 's/^[^0-9]*[0-9]*[^0-9]*\([0-9][0-9]*\)%.*/\1/p' | head -n 1)
    if [ -n "$current" ] && [ "$current" -ge 95 ]; then
        pactl set-sink-volume @DEFAULT_SINK@ 100%
    else
        pactl set-sink-volume @DEFAULT_SINK@ +5%
    fi
}
if command -v pactl >/dev/null 2>&1 && raise; then
    exit 0
fi
if command -v amixer >/dev/null 2>&1; then
    exec amixer -q set Master 5%+
fi
if command -v pactl >/dev/null 2>&1; then
    echo "volume_add.sh: pactl failed and amixer is not installed" >&2
    exit 1
fi
echo "volume_add.sh: neither pactl nor amixer is installed" >&2
exit 127
