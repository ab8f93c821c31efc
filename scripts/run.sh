#!/bin/sh
# Installs what Corvane needs, builds it, installs it into the user's own
# prefix (~/.local by default, or $CORVANE_PREFIX; no root needed): the
# programs, the command scripts, the application-menu entry and the icons.
# Then starts the installed program, so start at login points at that copy.
# Extra arguments are passed to corvane (for instance --headless or --port N).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${CORVANE_PREFIX:-$HOME/.local}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build-run" -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --install "$top/build-run" >/dev/null
# Let the desktop's menu pick up the new entry at once where it keeps a cache.
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database -q "$prefix/share/applications" 2>/dev/null || true
fi
echo "run.sh: installed into $prefix; starting $prefix/bin/corvane"
exec "$prefix/bin/corvane" "$@"
