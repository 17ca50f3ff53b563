#!/usr/bin/env bash
# Byte-for-byte record of what every command writes for samples/demo.swf: the convert GIF, single
# frames in each format, and the BMP/TGA/PNG sequences. Compares against expected.sha256, or
# rewrites it with --refresh after a change that alters the output on purpose.
#   tools/output_checksums/output_checksums.sh [--refresh] [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
refresh=0
if [[ "${1:-}" == "--refresh" ]]; then refresh=1; shift; fi
filmcast="$(realpath "${1:-$root/build}")/filmcast"
movie="$root/samples/demo.swf"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$filmcast" convert -q -j 1 "$movie" -o "$work/convert"
"$filmcast" convert -q -j 1 "$movie" -o "$work/convert-small" --size 160x120 --fps 8
"$filmcast" convert -q -j 1 "$movie" -o "$work/convert-low" --quality low --scale 0.5
for format in png bmp tga gif jpg tif; do
  "$filmcast" frame "$movie" --at 7 -o "$work/frame/at7.$format"
done
"$filmcast" frame "$movie" --at 3 --size 300x200 -o "$work/frame/sized.png"
for format in bmp tga png; do
  "$filmcast" frames -q "$movie" -o "$work/frames-$format" --format "$format"
done
"$filmcast" frames -q "$movie" -o "$work/frames-range" --format png --from 2 --to 5 --size 64x48

# One line a file, and one a sequence folder (the digest of its files' lines).
actual="$work/actual.sha256"
(
  cd "$work"
  find ./convert* ./frame -type f -print0 | sort -z | xargs -0 sha256sum
  for folder in ./frames-*; do
    count=$(find "$folder" -type f | wc -l)
    digest=$(find "$folder" -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-64)
    echo "$digest  $folder/ ($count files)"
  done
) > "$actual"
if [[ $refresh == 1 ]]; then
  cp "$actual" "$here/expected.sha256"
  echo "recorded $(wc -l < "$actual") files in $here/expected.sha256"
  exit 0
fi
if diff -u "$here/expected.sha256" "$actual"; then
  echo "all $(wc -l < "$actual") files identical"
else
  echo "outputs differ (refresh with: tools/output_checksums/output_checksums.sh --refresh)" >&2
  exit 1
fi
