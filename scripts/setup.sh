#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the tools need.
# Safe to run again: when everything is present it only says so.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    librtmidi-dev libasound2-dev libjack-jackd2-dev jackd2
    nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev clang-format
    python3 python3-rtmidi python3-mido
    xvfb xauth fonts-dejavu-core
    at-spi2-core python3-pyatspi dbus-daemon dbus-x11
    coreutils procps
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all ${#packages[@]} packages are installed"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
