#!/usr/bin/python3
"""Makes the JPEG, PNG and GIF samples of the decoder tests in tests/data/.

Beside each sample NAME.ext it writes NAME.pgm, the gray raster the loader
must produce. For PNG and GIF the script writes the files itself, byte by
byte, and computes the raster from the pixels it encoded. For JPEG the raster
is Pillow's own decode of the file (Pillow uses the system libjpeg with the
library defaults, as the loader does) reduced to gray by the loader's rule.

The gray rule is round((0.587 G + 0.299 R) + 0.114 B) in binary64, with
Python's round() going to the even neighbour on exact halves, like the loader.
Transparent samples are composed over white first: (v a + 255 (255 - a) + 127)
// 255, the loader's overWhite().

Needs /usr/bin/python3 with Pillow, and cjpeg and tjbench from Debian's
libjpeg-turbo-progs. The outputs are committed; run this again only to change
them: tools/make-test-pictures.py [tests/data]
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image, ImageOps

# ----------------------------------------------------------------------------
# Shared helpers


def gray_of(r, g, b):
    return round((0.587 * g + 0.299 * r) + 0.114 * b)


def over_white(v, a):
    return (v * a + 255 * (255 - a) + 127) // 255


def write_pgm(path, width, height, gray):
    assert len(gray) == width * height
    assert all(0 <= v <= 255 for v in gray)
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height))
        f.write(bytes(gray))


class Random:
    """A small fixed generator, so that reruns write the same files."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % bound


def photo_rgb(width, height):
    """Smooth gradients crossed by sharp edges, for the lossy JPEG samples."""
    pixels = []
    for y in range(height):
        for x in range(width):
            r = (x * 255) // max(1, width - 1)
            g = (y * 255) // max(1, height - 1)
            b = 255 - (r + g) // 2
            if (x // 6 + y // 5) % 3 == 0:
                r, g, b = 255 - g, b, r
            if (x - width // 2) ** 2 + (y - height // 2) ** 2 < (height // 3) ** 2:
                r, g, b = 230, 40, 30
            pixels.append((r, g, b))
    return pixels


# ----------------------------------------------------------------------------
# JPEG: encoded by cjpeg, tjbench and Pillow; expected rasters from Pillow.


def jpeg_expected(path, cmyk_inverted=None):
    """The loader's raster for a JPEG, from Pillow's decode of it.

    Pillow reads every four-component JPEG as Adobe-style inverted CMYK, so
    its samples are 255 minus the file's. The loader takes Adobe files as
    inverted (R = C K / 255) and others as plain (R = (255-C)(255-K) / 255).
    """
    im = Image.open(path)
    im.load()
    if im.mode == "L":
        return im.size, list(im.getdata())
    if im.mode == "RGB":
        return im.size, [gray_of(*p) for p in im.getdata()]
    assert im.mode == "CMYK" and cmyk_inverted is not None
    gray = []
    for p in im.getdata():
        c, m, y, k = (255 - v for v in p)  # the samples as stored
        if cmyk_inverted:
            rgb = [(s * k + 127) // 255 for s in (c, m, y)]
        else:
            rgb = [((255 - s) * (255 - k) + 127) // 255 for s in (c, m, y)]
        gray.append(gray_of(*rgb))
    return im.size, gray


def strip_adobe_marker(data):
    """The JPEG without its APP14 "Adobe" segment."""
    assert data[:2] == b"\xff\xd8"
    out = bytearray(data[:2])
    pos = 2
    while True:
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2 : pos + 4])[0]
        if marker != 0xEE:
            out += data[pos : pos + 2 + length]
        pos += 2 + length
        if marker == 0xDA:
            return bytes(out + data[pos:])


def make_jpegs(folder, scratch):
    width, height = 37, 29
    source = Image.new("RGB", (width, height))
    source.putdata(photo_rgb(width, height))
    ppm = os.path.join(scratch, "source.ppm")
    source.save(ppm)

    def cjpeg(name, *switches):
        path = os.path.join(folder, name + ".jpg")
        subprocess.run(["cjpeg", "-quality", "85", *switches, "-outfile", path, ppm], check=True)
        return path

    samples = {
        "baseline-444": cjpeg("baseline-444", "-sample", "1x1"),
        "baseline-422": cjpeg("baseline-422", "-sample", "2x1"),
        "baseline-420": cjpeg("baseline-420", "-sample", "2x2"),
        "baseline-440": cjpeg("baseline-440", "-sample", "1x2"),
        "baseline-411": cjpeg("baseline-411", "-sample", "4x1"),
        "progressive-420": cjpeg("progressive-420", "-progressive"),
        "progressive-444": cjpeg("progressive-444", "-progressive", "-sample", "1x1"),
        "gray": cjpeg("gray", "-grayscale"),
        "gray-progressive": cjpeg("gray-progressive", "-grayscale", "-progressive"),
        "restart-markers": cjpeg("restart-markers", "-restart", "1"),
        "restart-blocks-422": cjpeg("restart-blocks-422", "-sample", "2x1", "-restart", "3B"),
        "rgb": cjpeg("rgb", "-rgb"),
        "arithmetic": cjpeg("arithmetic", "-arithmetic"),
        "optimized": cjpeg("optimized", "-optimize"),
    }
    for name, path in samples.items():
        size, gray = jpeg_expected(path)
        write_pgm(os.path.join(folder, name + ".pgm"), *size, gray)

    # CMYK as Pillow writes it: inverted samples with an Adobe marker. The
    # same scans without the marker read as plain CMYK.
    cmyk = source.convert("CMYK")
    buffer = io.BytesIO()
    cmyk.save(buffer, "JPEG", quality=90)
    adobe = buffer.getvalue()
    assert b"Adobe" in adobe
    for name, data, inverted in (
        ("cmyk-adobe", adobe, True),
        ("cmyk-plain", strip_adobe_marker(adobe), False),
    ):
        path = os.path.join(folder, name + ".jpg")
        with open(path, "wb") as f:
            f.write(data)
        size, gray = jpeg_expected(path, cmyk_inverted=inverted)
        write_pgm(os.path.join(folder, name + ".pgm"), *size, gray)

    # YCCK: TurboJPEG compresses CMYK pixels that way (Adobe transform 2).
    subprocess.run(
        ["tjbench", ppm, "90", "-cmyk", "-subsamp", "420", "-componly", "-quiet"],
        check=True,
        cwd=scratch,
        stdout=subprocess.DEVNULL,
    )
    path = os.path.join(folder, "ycck.jpg")
    shutil.copyfile(os.path.join(scratch, "source_420_Q90.jpg"), path)
    im = Image.open(path)
    assert im.mode == "CMYK" and im.info.get("adobe_transform") == 2
    size, gray = jpeg_expected(path, cmyk_inverted=True)
    write_pgm(os.path.join(folder, "ycck.pgm"), *size, gray)

    make_oriented_jpegs(folder)


def exif_segment(orientation, big_endian):
    """An APP1 "Exif" segment holding only the orientation tag."""
    order = ">" if big_endian else "<"
    tiff = (b"MM" if big_endian else b"II") + struct.pack(order + "HI", 42, 8)
    tiff += struct.pack(order + "H", 1)  # one directory entry
    tiff += struct.pack(order + "HHIH2x", 0x0112, 3, 1, orientation)  # SHORT, count 1
    tiff += struct.pack(order + "I", 0)  # no next directory
    data = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", 2 + len(data)) + data


def make_oriented_jpegs(folder):
    """One asymmetric picture stored in each of the eight EXIF orientations.

    Every file holds the pixels as a camera held sideways or mirrored would
    store them, and its tag says how to turn them upright; all eight must
    decode to the same upright raster. Flat 16 x 16 blocks keep the lossy
    coding exact, whichever way the blocks are turned. Tags alternate between
    the two byte orders. Pillow's exif_transpose() checks the expectation.
    """
    levels = [[20, 90, 160], [230, 60, 130]]  # 3 x 2 blocks: no symmetry
    width, height = 16 * 3, 16 * 2
    upright = Image.new("L", (width, height))
    upright.putdata([levels[y // 16][x // 16] for y in range(height) for x in range(width)])
    # Stored = the inverse of the transpose that makes the picture upright.
    stored_from_upright = {
        1: None,
        2: Image.Transpose.FLIP_LEFT_RIGHT,
        3: Image.Transpose.ROTATE_180,
        4: Image.Transpose.FLIP_TOP_BOTTOM,
        5: Image.Transpose.TRANSPOSE,
        6: Image.Transpose.ROTATE_90,
        7: Image.Transpose.TRANSVERSE,
        8: Image.Transpose.ROTATE_270,
    }
    for orientation, method in stored_from_upright.items():
        stored = upright if method is None else upright.transpose(method)
        buffer = io.BytesIO()
        stored.save(buffer, format="JPEG", quality=95)
        jpeg = buffer.getvalue()
        jpeg = jpeg[:2] + exif_segment(orientation, orientation % 2 == 0) + jpeg[2:]
        name = "orientation-%d" % orientation
        path = os.path.join(folder, name + ".jpg")
        with open(path, "wb") as f:
            f.write(jpeg)
        seen = ImageOps.exif_transpose(Image.open(path))
        assert seen.size == (width, height)
        assert list(seen.getdata()) == list(upright.getdata()), name
        write_pgm(os.path.join(folder, name + ".pgm"), width, height, list(seen.getdata()))


# ----------------------------------------------------------------------------
# PNG: written here, every colour type, depth, filter and interlacing.

GRAY, RGB, PALETTE, GRAY_ALPHA, RGBA = 0, 2, 3, 4, 6
CHANNELS = {GRAY: 1, RGB: 3, PALETTE: 1, GRAY_ALPHA: 2, RGBA: 4}

# (x start, y start, x step, y step) of the seven Adam7 passes.
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
         (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray()
    per_byte = 8 // depth
    for i in range(0, len(samples), per_byte):
        byte = 0
        group = samples[i : i + per_byte]
        for j, s in enumerate(group):
            byte |= s << (8 - depth * (j + 1))
        out.append(byte)
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(kind, row, previous, bpp):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = previous[i] if previous is not None else 0
        c = previous[i - bpp] if previous is not None and i >= bpp else 0
        predictor = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - predictor) & 0xFF)
    return bytes(out)


def encode_image(pixels, width, height, channels, depth):
    """Filtered scanlines of one (sub)picture, cycling through the filters."""
    bpp = max(1, channels * depth // 8)
    data = bytearray()
    previous = None
    for y in range(height):
        samples = [s for p in pixels[y * width : (y + 1) * width] for s in p]
        row = pack_row(samples, depth)
        data += filter_row(y % 5, row, previous, bpp)
        previous = row
    return bytes(data)


def write_png(path, width, height, colour, depth, pixels, palette=None, trns=None,
              interlace=False, extra=(), idat_pieces=1):
    """pixels: one tuple of samples per pixel, rows from the top."""
    channels = CHANNELS[colour]
    if interlace:
        raw = bytearray()
        for x0, y0, dx, dy in ADAM7:
            xs, ys = range(x0, width, dx), range(y0, height, dy)
            if len(xs) and len(ys):
                sub = [pixels[y * width + x] for y in ys for x in xs]
                raw += encode_image(sub, len(xs), len(ys), channels, depth)
    else:
        raw = encode_image(pixels, width, height, channels, depth)
    compressed = zlib.compress(bytes(raw), 9)
    out = b"\x89PNG\r\n\x1a\n"
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, int(interlace))
    out += chunk(b"IHDR", header)
    for kind, data in extra:
        out += chunk(kind, data)
    if palette is not None:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    step = -(-len(compressed) // idat_pieces)
    for i in range(0, len(compressed), step):
        out += chunk(b"IDAT", compressed[i : i + step])
    out += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def to8(sample, depth):
    """A sample brought to 8 bits as the loader does."""
    if depth == 16:
        return (sample * 255 + 32767) // 65535  # round(v / 257): no halves
    return sample * 255 // ((1 << depth) - 1)


def png_gray(colour, depth, pixel, palette=None, alphas=None, trns_value=None):
    if colour == PALETTE:
        r, g, b = palette[pixel[0]]
        a = alphas[pixel[0]] if alphas is not None and pixel[0] < len(alphas) else 255
        return gray_of(*(over_white(v, a) for v in (r, g, b)))
    samples = [to8(s, depth) for s in pixel]
    if colour in (GRAY, RGB):
        alpha = 0 if trns_value is not None and tuple(pixel) == trns_value else 255
    else:
        alpha = samples.pop()
    samples = [over_white(v, alpha) for v in samples]
    if len(samples) == 1:
        return samples[0]
    return gray_of(*samples)


def make_pngs(folder):
    rnd = Random(20240601)

    def sample_pixels(width, height, channels, depth, hits=()):
        top = (1 << depth) - 1
        pixels = []
        for i in range(width * height):
            pixel = tuple(rnd.next(top + 1) for _ in range(channels))
            # Plenty of full and empty alpha, where composition is easy to get wrong.
            if channels in (2, 4) and i % 4 == 0:
                pixel = pixel[:-1] + ((0, top)[i % 8 == 0],)
            pixels.append(pixel)
        for i in hits:
            pixels[i % len(pixels)] = hits[i]
        return pixels

    def save(name, width, height, colour, depth, pixels, palette=None, alphas=None,
             trns_value=None, **kw):
        trns = None
        if alphas is not None:
            trns = bytes(alphas)
        elif trns_value is not None:
            trns = b"".join(struct.pack(">H", v) for v in trns_value)
        write_png(os.path.join(folder, name + ".png"), width, height, colour, depth, pixels,
                  palette=palette, trns=trns, **kw)
        gray = [png_gray(colour, depth, p, palette, alphas, trns_value) for p in pixels]
        write_pgm(os.path.join(folder, name + ".pgm"), width, height, gray)

    w, h = 23, 17
    for depth in (1, 2, 4, 8, 16):
        save("gray-%d" % depth, w, h, GRAY, depth, sample_pixels(w, h, 1, depth))
    for depth in (8, 16):
        save("gray-alpha-%d" % depth, w, h, GRAY_ALPHA, depth, sample_pixels(w, h, 2, depth))
        save("rgb-%d" % depth, w, h, RGB, depth, sample_pixels(w, h, 3, depth))
        save("rgba-%d" % depth, w, h, RGBA, depth, sample_pixels(w, h, 4, depth))

    # tRNS on gray and RGB: one exact sample value is transparent; the value
    # is planted in a few pixels so that it surely occurs.
    for depth, value in ((2, (1,)), (8, (77,)), (16, (40000,))):
        hits = {5: value, 40: value, 200: value}
        save("gray-%d-trns" % depth, w, h, GRAY, depth, sample_pixels(w, h, 1, depth, hits),
             trns_value=value)
    for depth, value in ((8, (10, 20, 30)), (16, (1000, 60000, 123))):
        hits = {0: value, 99: value, 390: value}
        save("rgb-%d-trns" % depth, w, h, RGB, depth, sample_pixels(w, h, 3, depth, hits),
             trns_value=value)

    # Palettes of every depth, some shorter than their depth allows.
    for depth, entries in ((1, 2), (2, 3), (4, 11), (8, 256)):
        palette = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(entries)]
        pixels = [(rnd.next(entries),) for _ in range(w * h)]
        save("palette-%d" % depth, w, h, PALETTE, depth, pixels, palette=palette)
    palette = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(40)]
    alphas = [0, 255, 128, 1, 254] + [rnd.next(256) for _ in range(20)]  # shorter than the palette
    pixels = [(rnd.next(40),) for _ in range(w * h)]
    save("palette-trns", w, h, PALETTE, 8, pixels, palette=palette, alphas=alphas)

    # Adam7, from the smallest pictures (six passes empty) up.
    save("interlaced-1x1", 1, 1, RGB, 8, [(200, 10, 90)], interlace=True)
    save("interlaced-3x2", 3, 2, GRAY, 8, sample_pixels(3, 2, 1, 8), interlace=True)
    iw, ih = 13, 11
    save("interlaced-gray-1", iw, ih, GRAY, 1, sample_pixels(iw, ih, 1, 1), interlace=True)
    save("interlaced-gray-8", iw, ih, GRAY, 8, sample_pixels(iw, ih, 1, 8), interlace=True)
    save("interlaced-gray-alpha-8", iw, ih, GRAY_ALPHA, 8, sample_pixels(iw, ih, 2, 8),
         interlace=True)
    save("interlaced-rgb-8", iw, ih, RGB, 8, sample_pixels(iw, ih, 3, 8), interlace=True)
    save("interlaced-rgba-16", iw, ih, RGBA, 16, sample_pixels(iw, ih, 4, 16), interlace=True)
    palette = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(16)]
    save("interlaced-palette-4-trns", iw, ih, PALETTE, 4, [(rnd.next(16),) for _ in range(iw * ih)],
         palette=palette, alphas=[rnd.next(256) for _ in range(16)], interlace=True)

    # Ancillary chunks that must not change the pixels (gamma 1.0 would
    # brighten them if applied), and pixel data split over several IDATs.
    save("ancillary-chunks", w, h, RGB, 8, sample_pixels(w, h, 3, 8),
         extra=[(b"gAMA", struct.pack(">I", 100000)), (b"tEXt", b"Comment\0made by the tests"),
                (b"bKGD", struct.pack(">HHH", 0, 0, 0))],
         idat_pieces=4)


# ----------------------------------------------------------------------------
# GIF: written here (LZW included), plus two files from Pillow.


def lzw_encode(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    codes = []

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    codes.append((clear, size))
    current = ()
    for index in indices:
        extended = current + (index,)
        if extended in table:
            current = extended
            continue
        codes.append((table[current], size))
        if next_code < 4096:
            table[extended] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            codes.append((clear, size))
            table, next_code, size = reset()
        current = (index,)
    if current:
        codes.append((table[current], size))
    codes.append((end, size))
    out = bytearray()
    bits = nbits = 0
    for code, width in codes:
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i : i + 255]
        out += bytes([len(piece)]) + piece
    return bytes(out + b"\0")


def table_bits(entries):
    bits = 1
    while (1 << bits) < entries:
        bits += 1
    return bits


def colour_table(colours):
    bits = table_bits(len(colours))
    padded = list(colours) + [(0, 0, 0)] * ((1 << bits) - len(colours))
    return bits, b"".join(bytes(c) for c in padded)


class Frame:
    def __init__(self, left, top, width, height, indices, local=None, interlace=False,
                 transparent=None, min_code_size=None):
        self.left, self.top, self.width, self.height = left, top, width, height
        self.indices = indices
        self.local = local
        self.interlace = interlace
        self.transparent = transparent
        self.min_code_size = min_code_size


def interlaced_order(height):
    rows = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows += list(range(start, height, step))
    return rows


def gif_bytes(screen_w, screen_h, frames, global_table=None, version=b"89a", extensions=()):
    out = bytearray(b"GIF" + version)
    flags = 0
    table = b""
    if global_table is not None:
        bits, table = colour_table(global_table)
        flags = 0x80 | ((bits - 1) << 4) | (bits - 1)
    out += struct.pack("<HHBBB", screen_w, screen_h, flags, 0, 0) + table
    for label, blocks in extensions:
        out += bytes([0x21, label])
        for block in blocks:
            out += bytes([len(block)]) + block
        out += b"\0"
    for frame in frames:
        if frame.transparent is not None:
            # Graphics control: transparency flag, 0.1 s delay, the index.
            out += bytes([0x21, 0xF9, 4, 0x01, 10, 0, frame.transparent, 0])
        flags = 0x40 if frame.interlace else 0
        table = b""
        if frame.local is not None:
            bits, table = colour_table(frame.local)
            flags |= 0x80 | (bits - 1)
        place = (frame.left, frame.top, frame.width, frame.height)
        out += b"\x2c" + struct.pack("<HHHHB", *place, flags)
        out += table
        order = interlaced_order(frame.height) if frame.interlace else range(frame.height)
        stream = [frame.indices[y * frame.width + x] for y in order for x in range(frame.width)]
        size = frame.min_code_size
        if size is None:
            palette = frame.local if frame.local is not None else global_table
            size = max(2, table_bits(len(palette)))
        out += bytes([size]) + sub_blocks(lzw_encode(stream, size))
    out += b"\x3b"
    return bytes(out)


def gif_expected(screen_w, screen_h, frame, global_table):
    """The first frame on a white screen, as the loader draws it."""
    palette = frame.local if frame.local is not None else global_table
    gray = [255] * (screen_w * screen_h)
    for fy in range(frame.height):
        for fx in range(frame.width):
            x, y = frame.left + fx, frame.top + fy
            if x >= screen_w or y >= screen_h:
                continue
            index = frame.indices[fy * frame.width + fx]
            if index == frame.transparent:
                value = 255
            elif index < len(palette):
                value = gray_of(*palette[index])
            else:
                value = 0  # the table's black padding, or past the table: black
            gray[y * screen_w + x] = value
    return gray


def make_gifs(folder):
    rnd = Random(7)

    def colours(n):
        return [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(n)]

    def indices(n, bound):
        return [rnd.next(bound) for _ in range(n)]

    def save(name, screen_w, screen_h, frames, global_table=None, **kw):
        data = gif_bytes(screen_w, screen_h, frames, global_table, **kw)
        with open(os.path.join(folder, name + ".gif"), "wb") as f:
            f.write(data)
        write_pgm(os.path.join(folder, name + ".pgm"), screen_w, screen_h,
                  gif_expected(screen_w, screen_h, frames[0], global_table))
        return data

    w, h = 29, 19
    table = colours(256)
    # An independent decoder (Pillow's) agrees with the LZW coder above, also
    # past 4096 codes, where the table is reset.
    for name, width, height, pixels in (
        ("global-table", w, h, indices(w * h, 256)),
        ("long-lzw", 100, 90, [0] * 3000 + indices(6000, 256)),
    ):
        data = save(name, width, height, [Frame(0, 0, width, height, pixels)], table)
        assert list(Image.open(io.BytesIO(data)).getdata()) == pixels

    save("local-table", w, h, [Frame(0, 0, w, h, indices(w * h, 16), local=colours(16))])
    save("local-over-global", w, h, [Frame(0, 0, w, h, indices(w * h, 8), local=colours(8))],
         colours(8))
    save("interlaced", w, 37, [Frame(0, 0, w, 37, indices(w * 37, 64), interlace=True)],
         colours(64))
    save("transparent-index", w, h, [Frame(0, 0, w, h, indices(w * h, 4), transparent=2)],
         colours(4))
    save("frame-offset", 30, 20,
         [Frame(7, 5, 12, 8, indices(12 * 8, 16), transparent=3)], colours(16))
    save("frame-clipped", 20, 15, [Frame(12, 9, 14, 10, indices(14 * 10, 4), interlace=True)],
         colours(4))
    # A two-entry table with 2-bit codes: indices 2 and 3 lie past the table.
    save("index-past-table", 9, 7, [Frame(0, 0, 9, 7, indices(63, 4), min_code_size=2)],
         colours(2))
    first = Frame(0, 0, w, h, indices(w * h, 16))
    second = Frame(3, 2, 10, 10, indices(100, 16), transparent=0)
    save("animated", w, h, [first, second], colours(16),
         extensions=[(0xFF, [b"NETSCAPE2.0", b"\x01\x00\x00"])])
    save("gif87a", w, h, [Frame(0, 0, w, h, indices(w * h, 32))], colours(32), version=b"87a")
    save("extensions-first", w, h, [Frame(0, 0, w, h, indices(w * h, 8))], colours(8),
         extensions=[(0xFE, [b"a comment"]), (0x01, [bytes(12), b"plain text"])])

    # Two files from Pillow's own encoder.
    for name, interlace, size in (("pillow", False, (w, h)), ("pillow-interlaced", True, (40, 37))):
        im = Image.new("P", size)
        im.putpalette([v for c in colours(256) for v in c])
        im.putdata(indices(size[0] * size[1], 256))
        path = os.path.join(folder, name + ".gif")
        im.save(path, interlace=interlace, optimize=False)
        back = Image.open(path)
        rgb = back.convert("RGB")
        write_pgm(os.path.join(folder, name + ".pgm"), *size, [gray_of(*p) for p in rgb.getdata()])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "data")
    for kind, make in (("jpeg", make_jpegs), ("png", make_pngs), ("gif", make_gifs)):
        folder = os.path.join(data, kind)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with tempfile.TemporaryDirectory() as scratch:
            if kind == "jpeg":
                make(folder, scratch)
            else:
                make(folder)


if __name__ == "__main__":
    main()
