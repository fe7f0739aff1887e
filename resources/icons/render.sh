#!/usr/bin/env bash
# Re-renders the PNG sizes of the program's icon from tarnwell.svg
# (rsvg-convert, package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" tarnwell.svg -o "tarnwell-$size.png"
done
