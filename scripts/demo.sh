#!/usr/bin/env bash
# Installs what is missing, builds, and converts samples/demo.swf to an animated GIF, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p out
build/filmcast info samples/demo.swf
