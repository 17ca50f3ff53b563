#!/usr/bin/env bash
# Takes docs/screenshot.png: the converter window with the demo movie loaded, shown on a
# virtual X display (xvfb-run) or, without one, on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${BUILD_DIR:-build}
movie=${1:-samples/demo.swf}
out=${2:-docs/screenshot.png}
mkdir -p "$(dirname "$out")"
cmake --build "$build_dir" --target filmcast-screenshot -j2 >/dev/null
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" "$build_dir/filmcast-screenshot" "$movie" "$out"
else
  QT_QPA_PLATFORM=offscreen "$build_dir/filmcast-screenshot" "$movie" "$out"
fi
echo "$out"
