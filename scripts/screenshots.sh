#!/usr/bin/env bash
# Writes screenshots of the start-up screen, every tab and the About window
# into docs/screenshots, and under a dark palette into docs/screenshots/dark
# (offscreen; pass QT_SCALE_FACTOR=2 for 200% scale).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh build >/dev/null
out="${1:-docs/screenshots}"
QT_QPA_PLATFORM=offscreen ./build/src/ui/tarnwell_screenshots "$out"
# The same panel under a dark desktop palette, to check its contrast.
QT_QPA_PLATFORM=offscreen ./build/src/ui/tarnwell_screenshots "$out/dark" dark
