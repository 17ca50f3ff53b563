#!/usr/bin/python3
"""Draws the application icon (the same picture as res/icons/filmcast-converter.svg) into
res/icons/<size>/filmcast-converter.png for every hicolor size. Needs Pillow."""
import os
import sys

from PIL import Image, ImageDraw

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4


def draw(size):
    scale = size * SUPERSAMPLE / 256.0
    image = Image.new("RGBA", (size * SUPERSAMPLE,) * 2, (0, 0, 0, 0))
    d = ImageDraw.Draw(image)

    def box(x, y, w, h, r, fill):
        d.rounded_rectangle([x * scale, y * scale, (x + w) * scale - 1, (y + h) * scale - 1],
                            radius=r * scale, fill=fill)

    box(8, 8, 240, 240, 44, "#2b4f8f")
    box(28, 52, 200, 152, 14, "#1c1f2b")
    if size >= 24:
        for x in (40, 76, 112, 148, 184):
            box(x, 60, 18, 14, 3, "#e8ecf4")
            box(x, 182, 18, 14, 3, "#e8ecf4")
    box(40, 84, 176, 88, 8, "#f5a623")
    d.polygon([(108 * scale, 98 * scale), (108 * scale, 158 * scale), (160 * scale, 128 * scale)],
              fill="#ffffff")
    return image.resize((size, size), Image.LANCZOS)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../res/icons")
    for size in SIZES:
        folder = os.path.join(root, str(size))
        os.makedirs(folder, exist_ok=True)
        draw(size).save(os.path.join(folder, "filmcast-converter.png"))


if __name__ == "__main__":
    main()
