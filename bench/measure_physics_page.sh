#!/usr/bin/env bash
# CPU of the whole panel while the five balls run, with the physics page on
# screen, on screen with the MIDI monitor open, and hidden, offscreen and (when xvfb-run is installed) on a real X
# server. Builds nothing: run scripts/build.sh first. Usage:
#   bench/measure_physics_page.sh [seconds]          (default 30)
# BUILD_DIR selects the build tree (default: build). Exits 1 when a goal is
# missed in any run.
set -uo pipefail
cd "$(dirname "$0")/.."
exe="${BUILD_DIR:-build}/bench/tarnwell_measure_physics_page"
if [ ! -x "$exe" ]; then
    echo "measure_physics_page: $exe is missing; build first (scripts/build.sh)" >&2
    exit 2
fi
seconds="${1:-30}"
status=0
for mode in visible monitor hidden; do
    echo "== offscreen, $mode"
    QT_QPA_PLATFORM=offscreen "$exe" "$mode" "$seconds" || status=1
done
if command -v xvfb-run >/dev/null; then
    for mode in visible monitor hidden; do
        echo "== xvfb, $mode"
        QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" "$mode" "$seconds" ||
            status=1
    done
else
    echo "== xvfb-run not installed: X server runs skipped"
fi
exit $status
