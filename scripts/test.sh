#!/usr/bin/env bash
# Sets up this machine, builds everything and runs every test: the release
# build with warnings as errors (the PipeWire suite among them), its Debian
# package built and checked, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the core's threaded parts under ThreadSanitizer,
# then the formatting check. A sanitized build runs several times slower: its
# end-to-end waits are stretched by TARNWELL_TEST_TIME_SCALE.
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
    TARNWELL_TEST_TIME_SCALE=3 \
    ctest --test-dir build-asan --output-on-failure --timeout 900 -LE pipewire

# The threads: the send ring and its producer and consumer threads, the
# controller input's queue and its waker, the MIDI manager's notifications
# from other threads, and the JACK service's main, worker, notification and
# process threads over an in-process server (tests/fakejack), under
# ThreadSanitizer. Only the core and its unit tests: the views run on one
# thread, and the tests against a real JACK server would spend their time
# inside libjack, which is not built with the sanitizer and synchronises
# through the server's shared memory, so every cycle reads as a race there
# (tests/tsan.supp says why nothing is suppressed).
./scripts/build.sh build-tsan -DTARNWELL_WERROR=ON -DTARNWELL_TSAN=ON -DTARNWELL_BUILD_UI=OFF \
    -DTARNWELL_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp \
    ctest --test-dir build-tsan --output-on-failure --timeout 900 -L unit -E 'preset_fuzz|layering'

./scripts/check_format.sh
echo "all tests passed"
