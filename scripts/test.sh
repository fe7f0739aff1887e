#!/usr/bin/env bash
# Sets up this machine, builds everything and runs every test: the release
# build with warnings as errors (the PipeWire suite among them), its Debian
# package built and checked, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the formatting check.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh test

. scripts/jack_server.sh
jack_server_start
trap jack_server_stop EXIT

./scripts/build.sh build -DTARNWELL_WERROR=ON
ctest --test-dir build --output-on-failure --timeout 600
./scripts/package_check.sh build

./scripts/build.sh build-asan -DTARNWELL_WERROR=ON -DTARNWELL_SANITIZE=ON -DTARNWELL_BUILD_BENCH=OFF
# The PipeWire suite runs once, above: here it would load PipeWire's own
# library into the sanitized processes and check that more than ours.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure --timeout 900 -LE pipewire

./scripts/check_format.sh
echo "all tests passed"
