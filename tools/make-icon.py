#!/usr/bin/python3
"""Draws the window's icon: a folder with a picture page and a red PDF band,
128 x 128 pixels in 16 colours (index 0 transparent). Writes
app/resources/folder2pdf-gui.png (4-bit palette PNG, for Linux desktops and
the window) and, with ImageMagick, app/resources/folder2pdf-gui.ico (a
classic 4-bit icon with a transparency mask, for Windows builds). The files
are committed; run this again only to change the picture."""

import os
import subprocess

from PIL import Image, ImageDraw, ImageFont

PALETTE = [
    (0, 0, 0),  # 0 transparent
    (92, 56, 8),  # 1 outline brown
    (214, 150, 30),  # 2 folder back
    (248, 200, 72),  # 3 folder front
    (255, 255, 255),  # 4 page
    (170, 170, 170),  # 5 page edge
    (200, 30, 30),  # 6 PDF band
    (120, 190, 240),  # 7 sky
    (60, 150, 60),  # 8 hill
    (255, 220, 40),  # 9 sun
    (40, 100, 40),  # 10 far hill
    (255, 236, 150),  # 11 folder highlight
    (60, 60, 60),  # 12 dark lines
    (230, 230, 230),  # 13 page fold
    (150, 20, 20),  # 14 band shadow
    (20, 60, 140),  # 15 deep blue
]


def band_font():
    for path in ("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",):
        if os.path.exists(path):
            return ImageFont.truetype(path, 20)
    return ImageFont.load_default()


def draw_icon():
    image = Image.new("P", (128, 128), 0)
    image.putpalette([c for rgb in PALETTE for c in rgb])
    d = ImageDraw.Draw(image)

    # Folder back with its tab.
    d.rounded_rectangle((6, 22, 58, 40), radius=5, fill=2, outline=1, width=2)
    d.rounded_rectangle((6, 30, 121, 116), radius=6, fill=2, outline=1, width=2)

    # The page standing in the folder, showing a small landscape.
    d.polygon([(26, 8), (92, 8), (106, 22), (106, 100), (26, 100)], fill=4, outline=5)
    d.polygon([(92, 8), (92, 22), (106, 22)], fill=13, outline=5)
    d.rectangle((34, 26, 98, 64), fill=7, outline=15)
    d.ellipse((80, 30, 92, 42), fill=9)
    d.polygon([(35, 63), (52, 40), (68, 63)], fill=10)
    d.polygon([(50, 63), (72, 44), (97, 63)], fill=8)

    # Folder front, lower than the back so the page shows, with the PDF band.
    d.polygon([(4, 64), (124, 64), (118, 118), (10, 118)], fill=3, outline=1)
    d.line((6, 66, 122, 66), fill=11, width=2)
    d.line((4, 64, 124, 64), fill=1, width=2)
    d.rounded_rectangle((28, 76, 100, 104), radius=4, fill=6, outline=14, width=2)
    d.text((64, 90), "PDF", fill=4, font=band_font(), anchor="mm")
    return image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "app", "resources")
    image = draw_icon()
    png = os.path.join(out, "folder2pdf-gui.png")
    image.save(png, bits=4, transparency=0, optimize=True)
    subprocess.run(["convert", png, "-colors", "16", os.path.join(out, "folder2pdf-gui.ico")],
                   check=True)


if __name__ == "__main__":
    main()
