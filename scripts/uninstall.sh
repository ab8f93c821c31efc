#!/bin/sh
# Removes what scripts/run.sh installed into ~/.local (or $CORVANE_PREFIX):
# ends a Corvane running from there, removes its start-at-login entry and
# every installed file. With --purge it removes the settings as well
# ($XDG_CONFIG_HOME/corvane: the password and the other choices). Files the
# phone sent (uploads, the contact backup in ~/Documents/Corvane) are the
# user's and stay. Needs no root.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${CORVANE_PREFIX:-$HOME/.local}
purge=""
case "${1:-}" in
  "") ;;
  --purge) purge=yes ;;
  *)
    echo "usage: uninstall.sh [--purge]" >&2
    exit 2
    ;;
esac
program=$prefix/bin/corvane
manifest=$prefix/share/corvane/install_manifest.txt
if [ ! -f "$manifest" ]; then
  manifest=$top/build-run/install_manifest.txt
fi
if [ ! -f "$manifest" ]; then
  echo "uninstall.sh: no list of installed files in $prefix/share/corvane or $top/build-run" >&2
  exit 1
fi

# A running copy of this installation ends first: every running Corvane
# writes its process id into its lock file.
if [ -x "$program" ]; then
  installed=$(readlink -f "$program")
  for lock in "${XDG_RUNTIME_DIR:-/tmp/corvane-$(id -u)}"/corvane-*.lock; do
    [ -f "$lock" ] || continue
    pid=$(head -n 1 "$lock" 2>/dev/null || true)
    case "$pid" in '' | *[!0-9]*) continue ;; esac
    if [ "$(readlink "/proc/$pid/exe" 2>/dev/null || true)" = "$installed" ]; then
      echo "uninstall.sh: ending Corvane (process $pid)"
      kill "$pid" 2>/dev/null || true
      tries=0
      while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
      done
    fi
  done
  # The program removes the autostart entry that starts it.
  "$program" --autostart off >/dev/null
fi

# CMake ends the list without a line break: the last name counts too.
while IFS= read -r file || [ -n "$file" ]; do
  rm -f "$file"
  # The desktop module's folder (lib/corvane) holds nothing else.
  case "$file" in */corvane/corvane-desktop.so) rmdir "${file%/*}" 2>/dev/null || true ;; esac
done <"$manifest"
rm -f "$prefix/share/corvane/install_manifest.txt"
rmdir "$prefix/share/corvane/resources" "$prefix/share/corvane" "$prefix/share/doc/corvane" 2>/dev/null || true
# The menu's cache follows the entries left; with none left it goes too
# (run.sh made it for Corvane's entry).
applications=$prefix/share/applications
if ! ls "$applications"/*.desktop >/dev/null 2>&1; then
  rm -f "$applications/mimeinfo.cache"
elif command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database -q "$applications" 2>/dev/null || true
fi
echo "uninstall.sh: removed Corvane from $prefix"

if [ -n "$purge" ]; then
  rm -rf "${XDG_CONFIG_HOME:-$HOME/.config}/corvane"
  echo "uninstall.sh: removed the settings"
else
  echo "uninstall.sh: the settings stay in ${XDG_CONFIG_HOME:-$HOME/.config}/corvane (--purge removes them)"
fi
