#!/bin/sh
# Builds Corvane and runs every benchmark; each prints its figure next to
# its anchor, measured in the same run, and their ratio. Run it on an
# otherwise idle machine: the anchors share the machine with Corvane.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" bench
"$top/scripts/build.sh" "$top/build" -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=ON
for bench in download_bench request_rate_bench live_channel_bench startup_bench \
             qr_bench listing_bench thumbnail_bench upload_bench screenshot_bench app_catalogue \
             input_live_channel input_injection_latency input_typing laser_pointer_latency kde_input gnome_input \
             wlroots_injection_latency wlroots_typing; do
  echo "== $bench"
  "$top/build/bench/$bench"
done
