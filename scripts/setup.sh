#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs.
#   setup.sh run    what building and running the panel need
#   setup.sh test   that, and the test, measurement, packaging and fuzzing tools (the default)
# Safe to run again: when everything is present it only says so.
set -euo pipefail

# file: CPack's Debian packaging needs it (README, "Installing").
run_packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core file
    librtmidi-dev libasound2-dev libjack-jackd2-dev jackd2
    nlohmann-json3-dev
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev clang-format
    python3 python3-rtmidi python3-mido
    xvfb xauth
    at-spi2-core python3-pyatspi dbus-daemon dbus-x11
    pipewire pipewire-bin pipewire-jack wireplumber
    desktop-file-utils appstream dpkg-dev
    coreutils procps
)

case "${1:-test}" in
    run) packages=("${run_packages[@]}") ;;
    test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
    *)
        echo "usage: $0 [run|test]" >&2
        exit 2
        ;;
esac

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
