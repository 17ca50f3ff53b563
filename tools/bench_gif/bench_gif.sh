#!/usr/bin/env bash
# GIF benchmark: `filmcast convert` (defaults, --dither none, the same with 64 colours, which
# trades our quality surplus for size, and --no-optimize) against ffmpeg's
# palettegen + paletteuse (its default dither and dither=none) on the same frames, for
# samples/demo.swf and the two movies make_gif_bench_movies writes (full motion, mostly
# static). Reports file size, mean PSNR of the decoded pictures against the drawn frames
# (gif_psnr), CPU and wall time, peak memory; then the peak memory of the demo played for 120
# and for 1,200 ticks.
#   tools/bench_gif/bench_gif.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath "${1:-$root/build}")"
filmcast="$build/filmcast"
psnr="$build/tools/bench_gif/gif_psnr"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/tools/bench_gif/make_gif_bench_movies" "$work"
cp "$root/samples/demo.swf" "$work/demo.swf"

# Runs a command under GNU time; prints "wall cpu maxrss_kb".
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    exit 1
  }
  awk '{printf "%s %.2f %.1f\n", $1, $2 + $3, $4 / 1024}' "$work/time.txt"
}

printf "%-14s %-22s %9s %8s %8s %8s %8s\n" movie encoder "size MB" "PSNR dB" "CPU s" "wall s" "peak MB"
row() {  # movie label gif wall cpu rss frames rate
  local size db
  size=$(stat -c %s "$3")
  db=$("$psnr" "$3" "$work/png/${1%.swf}-%05d.png" "$7" "$8")
  printf "%-14s %-22s %9.2f %8s %8s %8s %8s\n" "$1" "$2" "$(echo "$size / 1048576" | bc -l)" \
    "$db" "$5" "$4" "$6"
}

for name in demo.swf full_motion.swf mostly_static.swf; do
  movie="$work/$name"
  frames=$("$filmcast" info "$movie" | awk '/Frame Count/ {print $3}')
  rate=$("$filmcast" info "$movie" | awk '/Frame Rate/ {print $3}')
  rm -rf "$work/png" && "$filmcast" frames -q "$movie" --format png -o "$work/png"
  for variant in "defaults|" "--dither none|--dither none" "--dither none --colors 64|--dither none --colors 64" \
    "--no-optimize|--no-optimize"; do
    label="filmcast ${variant%%|*}"
    args="${variant#*|}"
    # shellcheck disable=SC2086
    read -r wall cpu rss < <(measure "$filmcast" convert -q -j 1 $args "$movie" -o "$work/gif")
    row "$name" "$label" "$work/gif/${name%.swf}.gif" "$wall" "$cpu" "$rss" "$frames" "$rate"
  done
  for dither in default none; do
    use="paletteuse"
    [ "$dither" = none ] && use="paletteuse=dither=none"
    read -r wall cpu rss < <(measure ffmpeg -v error -y -framerate "$rate" -i "$work/png/${name%.swf}-%05d.png" \
      -filter_complex "[0:v]split[a][b];[a]palettegen[p];[b][p]$use" "$work/ffmpeg.gif")
    row "$name" "ffmpeg dither=$dither" "$work/ffmpeg.gif" "$wall" "$cpu" "$rss" "$frames" "$rate"
  done
done

echo
for ticks in 120 1200; do
  read -r wall cpu rss < <(measure "$filmcast" convert -q -j 1 --frames "$ticks" "$work/demo.swf" -o "$work/ticks")
  printf "demo.swf played for %5d ticks: %6.2f s CPU, %6.2f s wall, peak %6.1f MB, GIF %.2f MB\n" \
    "$ticks" "$cpu" "$wall" "$rss" "$(echo "$(stat -c %s "$work/ticks/demo.gif") / 1048576" | bc -l)"
done
