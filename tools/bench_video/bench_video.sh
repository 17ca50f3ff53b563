#!/usr/bin/env bash
# Video and full-colour picture benchmark: `filmcast convert --format gif|mp4|webm|apng|webp` at
# default settings on samples/demo.swf and the GIF benchmark's full-motion movie. Reports file
# size, wall and CPU time, pictures a second, and the mean PSNR of the decoded pictures against
# the frames drawn by `filmcast frames` (the GIF through gif_psnr, the others through
# av_psnr.py, over RGB).
#   tools/bench_video/bench_video.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath "${1:-$root/build}")"
filmcast="$build/filmcast"
gif_psnr="$build/tools/bench_gif/gif_psnr"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/tools/bench_gif/make_gif_bench_movies" "$work"
cp "$root/samples/demo.swf" "$work/demo.swf"

# Runs a command under GNU time; prints "wall cpu".
measure() {
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    exit 1
  }
  awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/time.txt"
}

printf "%-16s %-6s %9s %8s %8s %8s %12s %12s\n" movie format "size KB" "PSNR dB" "CPU s" "wall s" \
  "pictures/s" "pictures/CPU s"
for name in demo.swf full_motion.swf; do
  movie="$work/$name"
  frames=$("$filmcast" info "$movie" | awk '/Frame Count/ {print $3}')
  rate=$("$filmcast" info "$movie" | awk '/Frame Rate/ {print $3}')
  width=$("$filmcast" info "$movie" | awk '/Frame Width/ {print $3}')
  height=$("$filmcast" info "$movie" | awk '/Frame Height/ {print $3}')
  rm -rf "$work/png" && "$filmcast" frames -q "$movie" --format png -o "$work/png"
  for format in gif mp4 webm apng webp; do
    rm -rf "$work/out"
    read -r wall cpu < <(measure "$filmcast" convert -q -j 1 --format "$format" "$movie" -o "$work/out")
    file=$(find "$work/out" -type f | head -1)
    if [ "$format" = gif ]; then
      db=$("$gif_psnr" "$file" "$work/png/$name%05d.png" "$frames" "$rate")
    else
      db=$("$root/tools/bench_video/av_psnr.py" "$file" "$work/png/$name%05d.png" "$frames" "$width" "$height")
    fi
    printf "%-16s %-6s %9.0f %8s %8s %8s %12.1f %12.1f\n" "$name" "$format" \
      "$(echo "$(stat -c %s "$file") / 1024" | bc -l)" "$db" "$cpu" "$wall" \
      "$(echo "$frames / $wall" | bc -l)" "$(echo "$frames / $cpu" | bc -l)"
  done
done
