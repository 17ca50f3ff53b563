#!/usr/bin/python3
"""Mean PSNR over RGB of a video's or animated picture's pictures against the drawn frames.

    av_psnr.py FILE FRAME_PATTERN FRAMES WIDTH HEIGHT   (FRAME_PATTERN as printf: png/m%05d.png)

ffmpeg's command line decodes the file (cropped to WIDTH x HEIGHT: videos pad odd sizes),
except animated WebP, which this ffmpeg cannot read: Python's imaging library decodes that.
Prints the mean over frames in dB (identical frames count as 100 dB).
"""
import subprocess
import sys

import numpy as np
from PIL import Image, ImageSequence

IDENTICAL_DB = 100.0


def decoded(path, width, height):
    if path.endswith(".webp"):
        return [np.asarray(f.convert("RGB"), dtype=np.float64)
                for f in ImageSequence.Iterator(Image.open(path))]
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-vf",
                          f"crop={width}:{height}:0:0", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, capture_output=True).stdout
    size = width * height * 3
    return [np.frombuffer(raw[at:at + size], dtype=np.uint8).reshape(height, width, 3)
            .astype(np.float64) for at in range(0, len(raw) - size + 1, size)]


def main():
    path, pattern, frames, width, height = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:6])
    pictures = decoded(path, width, height)
    if len(pictures) != frames:
        sys.exit(f"{path}: {len(pictures)} pictures, {frames} frames")
    total = 0.0
    for k, picture in enumerate(pictures):
        frame = np.asarray(Image.open(pattern % k).convert("RGB"), dtype=np.float64)
        mse = np.mean((frame - picture) ** 2)
        total += IDENTICAL_DB if mse == 0 else min(IDENTICAL_DB, 10 * np.log10(255 ** 2 / mse))
    print(f"{total / frames:.2f}")


if __name__ == "__main__":
    main()
