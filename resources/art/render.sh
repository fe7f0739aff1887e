#!/usr/bin/env bash
# Re-renders the picture resources from their text.
set -euo pipefail
cd "$(dirname "$0")"
tool=$(mktemp -d)/render_art
g++ -std=c++20 -fPIC render_art.cpp -o "$tool" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tool" ascii.txt ../ascii.png 28 24
QT_QPA_PLATFORM=offscreen "$tool" ascii1.txt ../ascii1.png 28 16
