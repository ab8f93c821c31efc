#!/bin/sh
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) and runs each for the given number of seconds:
#   scripts/fuzz.sh 5          the smoke run of scripts/test.sh
#   scripts/fuzz.sh 3600       a long run: one hour per target
# Seeds come from fuzz/corpus/<target>; what a run finds is kept in
# build-fuzz/corpus/<target> and seeds the next run. A target that finds a
# crash, a broken check, a hang or a leak stops the script; the input that
# did it is in build-fuzz/findings/.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$top/build-fuzz"
targets="framing live_messages discovery upload qr_encoder"
# Only what the targets need is built, lightly optimised: the smoke run's
# build is most of its time.
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCORVANE_SANITIZE=asan -DCORVANE_BUILD_FUZZ=ON \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_RELEASE="-O1 -gline-tables-only" >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" --parallel "$(nproc)" $(for t in $targets; do printf -- '--target fuzz_%s ' "$t"; done) >/dev/null
findings="$build/findings"
rm -rf "$findings"
mkdir -p "$findings"
for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzz_$target, ${seconds} s"
  status=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$corpus" "$top/fuzz/corpus/$target" >"$findings/$target.log" 2>&1 ||
    status=$?
  grep -E '^(Done |stat::new_units_added|stat::peak_rss_mb)' "$findings/$target.log" || true
  if [ "$status" -ne 0 ] || ls "$findings/$target-"* >/dev/null 2>&1; then
    tail -n 30 "$findings/$target.log" >&2
    echo "fuzz.sh: fuzz_$target failed; inputs that did it: $(ls "$findings/$target-"* 2>/dev/null)" >&2
    exit 1
  fi
done
echo "fuzz.sh: every target ran ${seconds} s without a finding"
