#!/usr/bin/env bash
# Builds the preset import fuzzer with clang and runs it.
# Usage: scripts/fuzz.sh [seconds, default 600]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
seconds="${1:-600}"
CC=clang-14 CXX=clang++-14 ./scripts/build.sh build-fuzz -DTARNWELL_FUZZ=ON \
    -DTARNWELL_BUILD_UI=OFF -DTARNWELL_BUILD_BENCH=OFF
work=build-fuzz/fuzz-corpus
mkdir -p "$work" build-fuzz/fuzz-findings
cp -n tests/fuzz/corpus/* "$work"/
python3 tests/fuzz/make_hostile_corpus.py build-fuzz/fuzz-hostile
# The hostile files are seeds too; libFuzzer trims inputs to -max_len.
./build-fuzz/tests/fuzz/tarnwell_preset_fuzzer "$work" build-fuzz/fuzz-hostile \
    -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/fuzz-findings/ -print_final_stats=1
