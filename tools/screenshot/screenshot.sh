#!/usr/bin/env bash
# Takes docs/screenshot.png: the converter window with the demo movie loaded, shown on a
# virtual X display (xvfb-run) or, without one, on Qt's offscreen platform. The output folder
# shown is a user's pictures folder, not this machine's build folder; further arguments go to
# filmcast-screenshot (--folder DIR, --convert).
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${BUILD_DIR:-build}
movie=${1:-samples/demo.swf}
out=${2:-docs/screenshot.png}
shift $(( $# < 2 ? $# : 2 ))
mkdir -p "$(dirname "$out")"
cmake --build "$build_dir" --target filmcast-screenshot -j2 >/dev/null
run=("$build_dir/filmcast-screenshot" "$movie" "$out" --folder /home/user/Pictures/ "$@")
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}"
else
  QT_QPA_PLATFORM=offscreen "${run[@]}"
fi
echo "$out"
