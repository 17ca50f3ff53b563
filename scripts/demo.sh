#!/usr/bin/env bash
# Installs what is missing, builds, and converts samples/demo.swf to an animated GIF, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p out
build/filmcast info samples/demo.swf
build/filmcast convert samples/demo.swf -o out
echo "Animated GIF written to $(pwd)/out/demo.gif"
