#!/bin/sh
# Installs what Corvane needs, builds it and starts the server.
# Extra arguments are passed to corvane (for instance --headless or --port N).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build" -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF
exec "$top/build/src/app/corvane" "$@"
