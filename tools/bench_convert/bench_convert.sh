#!/usr/bin/env bash
# End-to-end conversion benchmark: `filmcast convert` on a movie (default samples/demo.swf)
# against ffmpeg's palettegen + paletteuse encoding the same frames from PNG files written by
# `filmcast frames --format png`. Reports frames/s (wall and CPU), peak memory and GIF sizes.
#   tools/bench_convert/bench_convert.sh [MOVIE] [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
movie="$(realpath "${1:-$root/samples/demo.swf}")"
build="$(realpath "${2:-$root/build}")"
filmcast="$build/filmcast"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
name="$(basename "$movie")"

frames=$("$filmcast" info "$movie" | awk '/Frame Count/ {print $3}')
rate=$("$filmcast" info "$movie" | awk '/Frame Rate/ {print $3}')

# Runs a command under GNU time; prints "wall cpu maxrss_kb".
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    exit 1
  }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/time.txt"
}

read -r conv_wall conv_cpu conv_rss < <(measure "$filmcast" convert -q -j 1 "$movie" -o "$work/gif")
gif_size=$(stat -c %s "$work/gif/${name%.swf}.gif")
pages=$(gifsicle --info "$work/gif/${name%.swf}.gif" | awk 'NR==1 {print $3}')

"$filmcast" frames -q "$movie" --format png -o "$work/png"
read -r ff_wall ff_cpu ff_rss < <(measure ffmpeg -v error -y -framerate "$rate" \
  -i "$work/png/${name%.swf}-%05d.png" \
  -filter_complex "[0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse" "$work/ffmpeg.gif")
ff_size=$(stat -c %s "$work/ffmpeg.gif")

awk -v n="$frames" -v pages="$pages" -v cw="$conv_wall" -v cc="$conv_cpu" -v cr="$conv_rss" \
    -v gs="$gif_size" -v fw="$ff_wall" -v fc="$ff_cpu" -v fr="$ff_rss" -v fs="$ff_size" \
    -v movie="$name" 'BEGIN {
  printf "movie %s: %d frames, GIF of %d pages\n", movie, n, pages
  printf "filmcast convert: %.2f s wall (%.1f frames/s), %.2f s CPU (%.1f frames/s), peak %.1f MB, GIF %.2f MB\n", cw, n / cw, cc, n / cc, cr / 1024, gs / 1048576
  printf "ffmpeg from PNG:  %.2f s wall (%.1f ms/frame), %.2f s CPU (%.1f ms/frame), peak %.1f MB, GIF %.2f MB\n", fw, 1000 * fw / n, fc, 1000 * fc / n, fr / 1024, fs / 1048576
  printf "filmcast / ffmpeg time: %.2f wall, %.2f CPU; size ratio %.2f\n", cw / fw, cc / fc, gs / fs
}'
