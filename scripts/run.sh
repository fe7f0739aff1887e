#!/usr/bin/env bash
# Sets up this machine, builds the panel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh run
./scripts/build.sh build -DTARNWELL_BUILD_TESTS=OFF -DTARNWELL_BUILD_BENCH=OFF
exec ./build/src/ui/tarnwell "$@"
