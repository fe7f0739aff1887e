#!/usr/bin/env bash
# Measures the physics tick rate on a real Qt event loop, offscreen. Builds
# nothing: run scripts/build.sh first. Usage:
#   bench/measure_tick_rate.sh [seconds]          (default 30)
# BUILD_DIR selects the build tree (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
exe="${BUILD_DIR:-build}/bench/tarnwell_measure_tick_rate"
if [ ! -x "$exe" ]; then
    echo "measure_tick_rate: $exe is missing; build first (scripts/build.sh)" >&2
    exit 2
fi
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$exe" "$@"
