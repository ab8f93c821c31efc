#!/bin/sh
# Regenerates docs/screenshots: the shell's windows drawn on a private X
# server (Xvfb) with a standalone tray (trayer), in a throw-away home, in
# Chinese. Needs a build with tests (build/tools/corvane_screenshots).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$top/build/tools/corvane_screenshots}
out=$top/docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
xvfb=""
tray=""
cleanup() {
  if [ -n "$tray" ]; then kill "$tray" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
read -r number <"$work/display"
export DISPLAY=":$number"
trayer --edge top --align left --widthtype request --height 24 --SetDockType true \
  --SetPartialStrut false >/dev/null 2>&1 &
tray=$!
sleep 1

mkdir -p "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
LANG=zh_CN.UTF-8 LANGUAGE='' LC_ALL='' LC_MESSAGES='' \
  HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb \
  "$tool" "$out"
