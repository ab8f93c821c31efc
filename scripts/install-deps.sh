#!/bin/sh
# Installs the Debian packages Corvane needs for one purpose:
#
#   install-deps.sh run     build and run Corvane (scripts/run.sh)
#   install-deps.sh test    run + the test tools (scripts/test.sh, CI)
#   install-deps.sh bench   test + the benchmarks' anchors (scripts/bench.sh)
#
# Each purpose adds one list to the ones before it; a new dependency goes
# into the one list that needs it. Packages already present are skipped.
# Runs apt-get through sudo when not root. Nothing installed here starts a
# service on its own (see service_packages below).
set -eu

# Building and running: the compiler and libraries, Qt's translation tools
# (the texts' English and Chinese are compiled in) and Qt's own Chinese, the
# tools the command scripts call (playerctl for music, pactl or amixer for
# the volume, xdg-open), and a font with the Chinese characters.
run_packages="
build-essential cmake pkg-config
qt6-base-dev qt6-base-private-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n qt6-wayland libglib2.0-dev libpng-dev libx11-dev libxtst-dev libxext-dev libxss-dev libcurl4-openssl-dev
libwayland-dev wayland-protocols plasma-wayland-protocols libxkbcommon-dev libpipewire-0.3-dev
playerctl pulseaudio-utils alsa-utils xdg-utils
fonts-noto-cjk
"

# The test suite: GoogleTest, a private X server and the tools the tests
# drive it with, headless GNOME (mutter with PipeWire and XWayland), KDE
# (KWin) and wlroots (sway, with grim to compare screenshots) sessions on a
# private session bus, the QR decoder, a loopback HTTP server, network
# namespaces, the script and package checkers, clang for the libFuzzer
# targets. The
# benchmarks are compiled with the tests (so CI keeps them building), which
# needs their two libraries.
test_packages="
libgtest-dev libgmock-dev libcpp-httplib-dev dbus-daemon
mutter pipewire wireplumber xwayland kwin-wayland sway grim
xvfb xdotool xclip trayer desktop-file-utils
libzbar-dev iproute2 shellcheck lintian
libbenchmark-dev libqrencode-dev
clang libclang-rt-14-dev
"

# The reference tools the benchmarks measure against in the same run.
bench_packages="
nginx-light wrk socat imagemagick wtype
"

# Packages that come with a system service, as "package:unit". They are
# installed with service starts refused and their unit disabled afterwards:
# the benchmarks run nginx from its binary with a configuration of their own,
# on a free loopback port, and nothing here may serve port 80 at boot.
service_packages="
nginx-light:nginx
"

purpose=${1:-}
case "$purpose" in
  run) packages=$run_packages ;;
  test) packages="$run_packages $test_packages" ;;
  bench) packages="$run_packages $test_packages $bench_packages" ;;
  *)
    echo "usage: install-deps.sh run|test|bench" >&2
    exit 2
    ;;
esac

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "install-deps: these packages are missing and neither root nor sudo is available:$missing" >&2
  exit 1
fi

# The units of the service packages about to be installed.
units=""
for entry in $service_packages; do
  case " $missing " in
    *" ${entry%%:*} "*) units="$units ${entry#*:}" ;;
  esac
done

# While they are installed, invoke-rc.d and deb-systemd-invoke ask
# policy-rc.d, which refuses every start (exit status 101). An existing
# policy-rc.d is the administrator's and is left alone.
policy=/usr/sbin/policy-rc.d
own_policy=""
cleanup() {
  if [ -n "$own_policy" ]; then
    $sudo rm -f "$policy"
  fi
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT TERM
if [ -n "$units" ] && [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Placed by Corvane'"'"'s install-deps.sh for one installation.\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  own_policy=yes
fi

echo "install-deps: installing$missing"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing

# Off at boot, for systemd and for System V init.
for unit in $units; do
  $sudo deb-systemd-helper disable "$unit.service" >/dev/null 2>&1 || true
  if [ -x "/etc/init.d/$unit" ]; then
    $sudo update-rc.d "$unit" disable >/dev/null 2>&1 || true
  fi
  echo "install-deps: $unit is installed for the benchmarks; its service is disabled and was not started"
done
