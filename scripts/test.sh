#!/bin/sh
# Builds Corvane and passes the whole test suite: once in the release build,
# once in an AddressSanitizer + UndefinedBehaviorSanitizer build; then runs
# each fuzz target briefly (scripts/fuzz.sh).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
# Xvfb is installed above, so the tests that need an X server must run.
export CORVANE_REQUIRE_X=1

"$top/scripts/build.sh" "$top/build" -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=ON
(cd "$top/build" && ctest --output-on-failure --no-tests=error --parallel 2)

"$top/scripts/build.sh" "$top/build-asan" -DCORVANE_BUILD_TESTS=ON -DCORVANE_SANITIZE=asan -DCORVANE_BUILD_BENCH=OFF
(cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure --no-tests=error --parallel 2)
# Every fuzz target for a few seconds, from its committed seeds.
"$top/scripts/fuzz.sh" 5
echo "test.sh: all tests passed"
