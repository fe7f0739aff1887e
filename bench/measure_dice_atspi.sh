#!/usr/bin/env bash
# How long dice takes to reach a JACK peer while the accessibility bus is on,
# with and without a screen reader's event listeners. Prints figures; asserts
# nothing. Needs a running JACK server (JACK_DEFAULT_SERVER as set).
# Usage: bench/measure_dice_atspi.sh path/to/tarnwell [presses]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec xvfb-run -a dbus-run-session -- /usr/bin/python3 "$here/measure_dice_atspi.py" "$@"
