#!/bin/sh
# Builds Corvane and passes the whole test suite: once in the release build,
# once in an AddressSanitizer + UndefinedBehaviorSanitizer build, then runs
# each fuzz target briefly (scripts/fuzz.sh). The release build is made for
# the system prefix, so its tests also check the Debian package it makes
# (lintian).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" test
# Xvfb and mutter are installed above, so the tests that need an X server
# or a GNOME desktop must run.
export CORVANE_REQUIRE_X=1
export CORVANE_REQUIRE_GNOME=1

"$top/scripts/build.sh" "$top/build" -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=ON -DCMAKE_INSTALL_PREFIX=/usr
(cd "$top/build" && ctest --output-on-failure --no-tests=error --parallel 2)

"$top/scripts/build.sh" "$top/build-asan" -DCORVANE_BUILD_TESTS=ON -DCORVANE_SANITIZE=asan -DCORVANE_BUILD_BENCH=OFF
(cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure --no-tests=error --parallel 2)
# Every fuzz target for a few seconds, from its committed seeds.
"$top/scripts/fuzz.sh" 5
echo "test.sh: all tests passed"

# Tests stay at most half the size of the product: non-blank, non-comment
# lines of the C, C++, shell and Python files each folder tracks.
count() {
  (cd "$top" && git ls-files -- "$1" | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp|mm|py|sh)$' | xargs cat | grep -cvE '^\s*(//.*)?$')
}
src_lines=$(count src)
test_lines=$(count tests)
echo "test.sh: lines of code: src $src_lines, tests $test_lines, tests/src $(awk "BEGIN { printf \"%.2f\", $test_lines / $src_lines }") (at most 0.50)"
