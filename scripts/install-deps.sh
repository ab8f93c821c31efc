#!/bin/sh
# Installs the Debian packages Corvane needs to build, run, test and benchmark.
# Runs apt-get through sudo when not root. Packages already present are skipped.
set -eu

packages="
build-essential cmake pkg-config
qt6-base-dev libpng-dev libx11-dev libxtst-dev libxext-dev libxss-dev libcurl4-openssl-dev
libgtest-dev libgmock-dev libbenchmark-dev
xvfb xauth x11-utils xdotool xclip trayer desktop-file-utils
zbar-tools libzbar-dev libqrencode-dev iproute2
nginx-light socat wrk imagemagick shellcheck
clang libclang-rt-14-dev
"

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

echo "install-deps: installing$missing"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
