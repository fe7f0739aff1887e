#!/usr/bin/env bash
# Writes screenshots of the start-up screen, every tab and the About window
# into docs/screenshots (offscreen; pass QT_SCALE_FACTOR=2 for 200% scale).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh build >/dev/null
QT_QPA_PLATFORM=offscreen ./build/src/ui/tarnwell_screenshots "${1:-docs/screenshots}"
