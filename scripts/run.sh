#!/bin/sh
# Installs what Corvane needs to build and run (the Debian packages of
# "install-deps.sh run", through sudo when not root), builds it, installs it
# into the user's own prefix (~/.local by default, or $CORVANE_PREFIX): the
# programs, their manual pages, the command scripts, the application-menu
# entry and the icons. Then starts the installed program, so start at login
# points at that copy. Extra arguments are passed to corvane (for instance
# --headless or --port N). scripts/uninstall.sh removes the installation.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${CORVANE_PREFIX:-$HOME/.local}
"$top/scripts/install-deps.sh" run
"$top/scripts/build.sh" "$top/build-run" -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --install "$top/build-run" >/dev/null
# The list of installed files stays with the installation, for uninstall.sh.
cp "$top/build-run/install_manifest.txt" "$prefix/share/corvane/install_manifest.txt"
# Let the desktop's menu pick up the new entry at once where it keeps a cache.
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database -q "$prefix/share/applications" 2>/dev/null || true
fi

echo "run.sh: installed $prefix/bin/corvane and $prefix/bin/corvane-client"
case ":$PATH:" in
  *":$prefix/bin:"*) ;;
  *)
    echo "run.sh: $prefix/bin is not on this shell's PATH: call them by that full path."
    if [ "$prefix" = "$HOME/.local" ] && [ "$(id -u)" -ne 0 ]; then
      echo "run.sh: (Debian's ~/.profile puts ~/.local/bin on PATH from your next login.)"
    fi
    ;;
esac
echo "run.sh: starting $prefix/bin/corvane $*"
exec "$prefix/bin/corvane" "$@"
