#!/bin/sh
# The program started where it cannot open a window: with no display named,
# and with one named that does not answer. It must say what to set, in one
# line of its own, and end with status 1, not abort.
# Usage: no_display_test.sh path/to/tarnwell
program="$1"
check() {
    what="$1"
    shift
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$program" 2>&1 >/dev/null)
    status=$?
    if [ "$status" -ne 1 ]; then
        echo "FAIL: $what: status $status"
        echo "$output"
        exit 1
    fi
    if ! echo "$output" | grep -q '^tarnwell: .*: set DISPLAY or WAYLAND_DISPLAY$'; then
        echo "FAIL: $what: no line saying what to set"
        echo "$output"
        exit 1
    fi
    echo "$what: status 1, $(echo "$output" | grep '^tarnwell: ')"
}
check "no display"
check "a display that does not answer" DISPLAY=:4093
echo PASS
