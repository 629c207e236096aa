#!/usr/bin/python3
"""Makes the JPEG, PNG, GIF, TIFF, WebP and HEIF samples of the decoder tests
in tests/data/.

Beside each sample NAME.ext it writes NAME.pgm, the gray raster the loader
must produce (NAME-1.pgm, NAME-2.pgm... for the pages of a TIFF of several).
For PNG and GIF the script writes the files itself, byte by byte, and
computes the raster from the pixels it encoded; so it does for TIFF, whose
baseline files it writes and tiffcp then compresses, tiles and joins, and
for lossless WebP. For JPEG the raster is Pillow's own decode of the file
(Pillow uses the system libjpeg with the library defaults, as the loader
does) reduced to gray by the loader's rule; so it is for lossy WebP (the
system libwebp) and for HEIC and AVIF (libheif's heif-convert). Files named
bad-* are refused by the loader and have no raster.

The gray rule is round((0.587 G + 0.299 R) + 0.114 B) in binary64, with
Python's round() going to the even neighbour on exact halves, like the loader.
Transparent samples are composed over white first: (v a + 255 (255 - a) + 127)
// 255, the loader's overWhite().

Needs /usr/bin/python3 with Pillow, cjpeg and tjbench from Debian's
libjpeg-turbo-progs, tiffcp (libtiff-tools), cwebp and webpmux (webp),
heif-enc and heif-convert (libheif-examples): tools/deps.sh --pictures. The
outputs are committed; run this again only to change them:
tools/make-test-pictures.py [DATA-FOLDER [FORMAT...]], FORMAT being the name
of a folder of tests/data (all of them by default).
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


def exif_dated(date):
    """A little-endian EXIF block whose Exif directory holds DateTimeOriginal."""
    tiff = b"II" + struct.pack("<HI", 42, 8)
    tiff += struct.pack("<HHHII", 1, 0x8769, 4, 1, 26) + struct.pack("<I", 0)
    tiff += struct.pack("<HHHII", 1, 0x9003, 2, 20, 44) + struct.pack("<I", 0)
    return tiff + date.encode() + b"\0"


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


# ----------------------------------------------------------------------------
# TIFF: baseline files written here (one uncompressed strip), made over by
# Debian's tiffcp into every compression, tiles, separate planes, big-endian
# and BigTIFF files and several pages; expected rasters from the pixels
# written. The JPEG-compressed sample's raster is Pillow's decode (libtiff
# with libjpeg, as the loader).

TIFF_SHORT, TIFF_LONG = 3, 4
MINISWHITE, MINISBLACK, TIFF_RGB, TIFF_PALETTE, SEPARATED = 0, 1, 2, 3, 5


def tiff_rows(samples, width, height, spp, bits, order):
    """The samples as TIFF rows: each row packed from its first bit, padded to
    a byte; 16-bit samples in the file's byte order."""
    data = bytearray()
    per_row = width * spp
    for y in range(height):
        row = samples[y * per_row : (y + 1) * per_row]
        if bits == 16:
            data += b"".join(struct.pack(order + "H", v) for v in row)
        else:
            data += pack_row(row, bits)
    return bytes(data)


def tiff_file(width, height, photometric, bits, spp, samples, extra=(), colormap=None,
              orientation=None, big_endian=False, directory_first=False):
    """A baseline TIFF of one uncompressed strip, after the header or after
    the directory."""
    order = ">" if big_endian else "<"
    data = tiff_rows(samples, width, height, spp, bits, order)
    data += b"\0" * (len(data) % 2)
    entries = [(256, TIFF_LONG, [width]), (257, TIFF_LONG, [height]),
               (258, TIFF_SHORT, [bits] * spp), (259, TIFF_SHORT, [1]),
               (262, TIFF_SHORT, [photometric]), (273, TIFF_LONG, [8]),
               (277, TIFF_SHORT, [spp]), (278, TIFF_LONG, [height]),
               (279, TIFF_LONG, [len(data)]), (284, TIFF_SHORT, [1])]
    if orientation is not None:
        entries.append((274, TIFF_SHORT, [orientation]))
    if colormap is not None:  # all reds, then all greens, then all blues
        entries.append((320, TIFF_SHORT, colormap))
    if extra:
        entries.append((338, TIFF_SHORT, list(extra)))
    entries.sort()

    def directory(ifd, strip):
        after = ifd + 2 + 12 * len(entries) + 4  # where values too long for an entry go
        table, values = b"", b""
        for tag, kind, items in entries:
            items = [strip] if tag == 273 else items
            packed = b"".join(struct.pack(order + ("H" if kind == TIFF_SHORT else "I"), v)
                              for v in items)
            if len(packed) <= 4:
                field = packed.ljust(4, b"\0")
            else:
                field = struct.pack(order + "I", after + len(values))
                values += packed + b"\0" * (len(packed) % 2)
            table += struct.pack(order + "HHI", tag, kind, len(items)) + field
        return struct.pack(order + "H", len(entries)) + table + b"\0\0\0\0" + values

    magic = b"MM" if big_endian else b"II"
    if directory_first:
        ifd = directory(8, 0)
        return magic + struct.pack(order + "HI", 42, 8) + directory(8, 8 + len(ifd)) + data
    return magic + struct.pack(order + "HI", 42, 8 + len(data)) + data + directory(8 + len(data), 8)


def tiffcp(sources, target, *switches):
    subprocess.run(["tiffcp", *switches, *sources, target], check=True)


def make_tiffs(folder, scratch):
    rnd = Random(4242)
    w, h = 23, 17

    def noise(count, top):
        return [rnd.next(top + 1) for _ in range(count)]

    def baseline(name, *args, **kw):
        path = os.path.join(scratch, name + ".tif")
        with open(path, "wb") as f:
            f.write(tiff_file(*args, **kw))
        return path

    def expect(name, width, height, gray):
        write_pgm(os.path.join(folder, name + ".pgm"), width, height, gray)

    def save(name, source, *switches):
        tiffcp([source], os.path.join(folder, name + ".tif"), *switches)

    # Gray: 8 bits exact, fewer bits scaled up, 16 bits rounded; white is 0
    # in MINISWHITE files.
    gray8 = noise(w * h, 255)
    save("gray-8", baseline("g8", w, h, MINISBLACK, 8, 1, gray8))
    expect("gray-8", w, h, gray8)
    gray4 = noise(w * h, 15)
    save("packbits-gray-4", baseline("g4bit", w, h, MINISBLACK, 4, 1, gray4), "-c", "packbits")
    expect("packbits-gray-4", w, h, [v * 17 for v in gray4])
    gray2 = noise(w * h, 3)
    save("miniswhite-2", baseline("g2", w, h, MINISWHITE, 2, 1, gray2))
    expect("miniswhite-2", w, h, [255 - v * 85 for v in gray2])
    gray16 = noise(w * h, 65535)
    save("deflate-gray-16-big-endian",
         baseline("g16", w, h, MINISBLACK, 16, 1, gray16, big_endian=True), "-c", "zip:2")
    expect("deflate-gray-16-big-endian", w, h, [to8(v, 16) for v in gray16])

    # Bilevel, white = 0 as fax machines send it: CCITT G3 and G4.
    bw, bh = 45, 21
    bits = [1 if (x // 5 + y // 3) % 3 == 0 or x == y else 0 for y in range(bh) for x in range(bw)]
    bilevel = baseline("bilevel", bw, bh, MINISWHITE, 1, 1, bits)
    for name, codec in (("g3-bilevel", "g3:2d"), ("g4-bilevel", "g4")):
        save(name, bilevel, "-c", codec)
        expect(name, bw, bh, [255 - 255 * v for v in bits])
    # Group 4 as a PDF's fax filter takes it (0 black; stored turned) and
    # as it doesn't (bits least significant first; several strips).
    bilevel_gray = [255 - 255 * v for v in bits]
    save("g4-minisblack", baseline("minisblack", bw, bh, MINISBLACK, 1, 1, [1 - v for v in bits]),
         "-c", "g4")
    save("g4-lsb-first", bilevel, "-c", "g4", "-f", "lsb2msb")
    save("g4-strips", bilevel, "-c", "g4", "-r", "8")
    upright_bits = Image.new("L", (bw, bh))
    upright_bits.putdata(bits)
    stored = upright_bits.transpose(Image.Transpose.ROTATE_90)
    save("g4-orientation-6", baseline("g4turned", *stored.size, MINISWHITE, 1, 1,
                                      list(stored.getdata()), orientation=6), "-c", "g4")
    for name in ("g4-minisblack", "g4-lsb-first", "g4-strips", "g4-orientation-6"):
        expect(name, bw, bh, bilevel_gray)

    # RGB: LZW with the horizontal predictor, 16 bits deflated, tiles that
    # pass the right and bottom edges, planes stored apart (read through
    # libtiff's RGBA reader, four rows a strip).
    rgb8 = noise(3 * w * h, 255)
    rgb_gray = [gray_of(*rgb8[3 * i : 3 * i + 3]) for i in range(w * h)]
    rgb_source = baseline("rgb8", w, h, TIFF_RGB, 8, 3, rgb8)
    save("lzw-rgb", rgb_source, "-c", "lzw:2")
    expect("lzw-rgb", w, h, rgb_gray)
    save("tiled-rgb", rgb_source, "-c", "zip", "-t", "-w", "16", "-l", "16")
    expect("tiled-rgb", w, h, rgb_gray)
    save("planar-separate-rgb", rgb_source, "-c", "lzw", "-p", "separate", "-r", "4")
    expect("planar-separate-rgb", w, h, rgb_gray)
    rgb16 = noise(3 * w * h, 65535)
    save("deflate-rgb-16", baseline("rgb16", w, h, TIFF_RGB, 16, 3, rgb16), "-c", "zip:2")
    expect("deflate-rgb-16", w, h,
           [gray_of(*(to8(v, 16) for v in rgb16[3 * i : 3 * i + 3])) for i in range(w * h)])

    # Palettes, 16-bit entries (v * 257, as writers store 8-bit colors), and
    # one of an old writer that stored 8-bit values: no entry above 255.
    for name, depth, wide in (("palette-4", 4, True), ("palette-8", 8, True),
                              ("palette-8-narrow-entries", 8, False)):
        entries = 1 << depth
        colours = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(entries)]
        colormap = [c[k] * (257 if wide else 1) for k in range(3) for c in colours]
        indices = noise(w * h, entries - 1)
        save(name, baseline(name, w, h, TIFF_PALETTE, depth, 1, indices, colormap=colormap))
        expect(name, w, h, [gray_of(*colours[i]) for i in indices])

    # CMYK, 0 = no ink; R = (255 - C)(255 - K) / 255 rounded, as for JPEG.
    cmyk = noise(4 * w * h, 255)
    save("lzw-cmyk", baseline("cmyk", w, h, SEPARATED, 8, 4, cmyk), "-c", "lzw")
    expect("lzw-cmyk", w, h, [
        gray_of(*(((255 - cmyk[4 * i + c]) * (255 - cmyk[4 * i + 3]) + 127) // 255
                  for c in range(3)))
        for i in range(w * h)])

    # Alpha: unassociated over RGB, associated (premultiplied) over gray,
    # plenty of it fully clear or opaque.
    def alphas(count):
        return [(0, 255)[i % 8 == 0] if i % 4 == 0 else rnd.next(256) for i in range(count)]

    rgba = []
    for a in alphas(w * h):
        rgba += noise(3, 255) + [a]
    save("rgba-unassociated", baseline("rgba", w, h, TIFF_RGB, 8, 4, rgba, extra=[2]), "-c",
         "zip")
    expect("rgba-unassociated", w, h, [
        gray_of(*(over_white(rgba[4 * i + c], rgba[4 * i + 3]) for c in range(3)))
        for i in range(w * h)])
    gray_alpha = []
    for a in alphas(w * h):
        gray_alpha += [(rnd.next(256) * a + 127) // 255, a]
    save("gray-alpha-associated",
         baseline("ga", w, h, MINISBLACK, 8, 2, gray_alpha, extra=[1]), "-c", "lzw")
    expect("gray-alpha-associated", w, h,
           [min(255, gray_alpha[2 * i] + 255 - gray_alpha[2 * i + 1]) for i in range(w * h)])

    # The Orientation tag, as for the JPEG samples: stored turned or
    # mirrored, upright once decoded.
    levels = [[20, 90, 160], [230, 60, 130]]
    uw, uh = 8 * 3, 8 * 2
    upright = Image.new("L", (uw, uh))
    upright.putdata([levels[y // 8][x // 8] for y in range(uh) for x in range(uw)])
    for orientation, method in ((4, Image.Transpose.FLIP_TOP_BOTTOM),
                                (6, Image.Transpose.ROTATE_90)):
        stored = upright.transpose(method)
        name = "orientation-%d" % orientation
        save(name, baseline(name, *stored.size, MINISBLACK, 8, 1, list(stored.getdata()),
                            orientation=orientation))
        expect(name, uw, uh, list(upright.getdata()))

    # Pages of three sizes and kinds, and BigTIFF (big-endian) of two.
    names = ("lzw-rgb", "orientation-6", "g4-bilevel")
    pages = [os.path.join(folder, n + ".tif") for n in names]
    tiffcp(pages, os.path.join(folder, "three-pages.tif"))
    for k, n in enumerate(names):
        shutil.copyfile(os.path.join(folder, n + ".pgm"),
                        os.path.join(folder, "three-pages-%d.pgm" % (k + 1)))
    names = ("deflate-gray-16-big-endian", "tiled-rgb")
    tiffcp([os.path.join(folder, n + ".tif") for n in names],
           os.path.join(folder, "bigtiff-two-pages.tif"), "-8", "-B")
    for k, n in enumerate(names):
        shutil.copyfile(os.path.join(folder, n + ".pgm"),
                        os.path.join(folder, "bigtiff-two-pages-%d.pgm" % (k + 1)))

    # JPEG in TIFF: YCbCr, chroma subsampled.
    pw, ph = 37, 29
    photo = [v for p in photo_rgb(pw, ph) for v in p]
    path = os.path.join(folder, "lossy-jpeg-ycbcr.tif")
    tiffcp([baseline("photo", pw, ph, TIFF_RGB, 8, 3, photo)], path, "-c", "jpeg:90")
    expect("lossy-jpeg-ycbcr", pw, ph, [gray_of(*p) for p in Image.open(path).convert("RGB").getdata()])

    # Refused: a header declaring 100,000 x 100,000 white pixels in a few
    # bytes of G4, a file cut inside its uncompressed strip, and a
    # compressed strip that runs past the end of the file.
    huge = bytearray(tiff_file(1, 1, MINISWHITE, 1, 1, [0]))
    for tag in (256, 257, 278):  # the LONG values of width, length and rows per strip
        at = huge.index(struct.pack("<HHI", tag, TIFF_LONG, 1)) + 8
        huge[at : at + 4] = struct.pack("<I", 100000)
    at = huge.index(struct.pack("<HHI", 259, TIFF_SHORT, 1)) + 8
    huge[at : at + 2] = struct.pack("<H", 4)
    with open(os.path.join(folder, "bad-huge-header.tif"), "wb") as f:
        f.write(huge)
    cut = tiff_file(w, h, TIFF_RGB, 8, 3, rgb8, directory_first=True)
    with open(os.path.join(folder, "bad-truncated.tif"), "wb") as f:
        f.write(cut[: len(cut) - len(rgb8) // 2])
    # An LZW strip said to start 10 bytes before the end of the file.
    with open(os.path.join(folder, "lzw-rgb.tif"), "rb") as f:
        lzw = bytearray(f.read())
    at = lzw.index(struct.pack("<HHI", 273, TIFF_LONG, 1)) + 8
    lzw[at : at + 4] = struct.pack("<I", len(lzw) - 10)
    with open(os.path.join(folder, "bad-strip-past-the-end.tif"), "wb") as f:
        f.write(lzw)


# ----------------------------------------------------------------------------
# WebP: encoded by Debian's cwebp and webpmux; lossless rasters from the
# pixels encoded, lossy ones from Pillow's decode (the system libwebp).


def save_png(path, mode, size, pixels):
    im = Image.new(mode, size)
    im.putdata(pixels)
    im.save(path)
    return path


def gray_over_white(im):
    """The loader's raster of a decoded picture: alpha over white, then gray."""
    if im.mode == "RGBA":
        return [gray_of(*(over_white(v, p[3]) for v in p[:3])) for p in im.getdata()]
    return [gray_of(*p) for p in im.convert("RGB").getdata()]


def make_webps(folder, scratch):
    rnd = Random(99)
    pw, ph = 37, 29
    photo = photo_rgb(pw, ph)
    alpha = [min(255, (x * 255) // (pw - 1) + (60 if y % 7 == 0 else 0)) for y in range(ph)
             for x in range(pw)]
    photo_png = save_png(os.path.join(scratch, "photo.png"), "RGB", (pw, ph), photo)
    rgba = [p + (a,) for p, a in zip(photo, alpha)]
    rgba_png = save_png(os.path.join(scratch, "rgba.png"), "RGBA", (pw, ph), rgba)

    def cwebp(name, source, *switches):
        path = os.path.join(folder, name + ".webp")
        subprocess.run(["cwebp", "-quiet", *switches, source, "-o", path], check=True)
        return path

    def expect(name, size, gray):
        write_pgm(os.path.join(folder, name + ".pgm"), *size, gray)

    for name, source, switches in (("lossy", photo_png, ["-q", "75"]),
                                   ("lossy-alpha", rgba_png, ["-q", "75", "-alpha_q", "90"])):
        path = cwebp(name, source, *switches)
        im = Image.open(path)
        im.load()
        expect(name, im.size, gray_over_white(im))
    cwebp("lossless", photo_png, "-lossless")
    expect("lossless", (pw, ph), [gray_of(*p) for p in photo])
    cwebp("lossless-alpha", rgba_png, "-lossless")
    expect("lossless-alpha", (pw, ph), [gray_of(*(over_white(v, a) for v in p)) for p, a in
                                        zip(photo, alpha)])

    # An animation whose first frame covers part of the canvas, at an
    # offset: white paper around it. The second frame sets the canvas size.
    fw, fh, fx, fy, cw, ch = 20, 14, 6, 4, 40, 30
    first = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(fw * fh)]
    second = [(rnd.next(256), rnd.next(256), rnd.next(256)) for _ in range(cw * ch)]
    frames = []
    for k, (size, pixels) in enumerate((((fw, fh), first), ((cw, ch), second))):
        png = save_png(os.path.join(scratch, "frame%d.png" % k), "RGB", size, pixels)
        frames.append(os.path.join(scratch, "frame%d.webp" % k))
        subprocess.run(["cwebp", "-quiet", "-lossless", png, "-o", frames[-1]], check=True)
    path = os.path.join(folder, "animated.webp")
    subprocess.run(["webpmux", "-frame", frames[0], "+100+%d+%d" % (fx, fy), "-frame", frames[1],
                    "+100", "-loop", "0", "-o", path], check=True, stdout=subprocess.DEVNULL)
    gray = [255] * (cw * ch)
    for y in range(fh):
        for x in range(fw):
            gray[(fy + y) * cw + fx + x] = gray_of(*first[y * fw + x])
    # Pillow agrees inside the frame (around it, it shows the clear canvas
    # as black).
    im = Image.open(path)
    assert im.n_frames == 2 and im.size == (cw, ch)
    assert gray_over_white(im.crop((fx, fy, fx + fw, fy + fh))) == [gray_of(*p) for p in first]
    expect("animated", (cw, ch), gray)

    with open(os.path.join(folder, "lossy.webp"), "rb") as f:
        whole = f.read()
    with open(os.path.join(folder, "bad-truncated.webp"), "wb") as f:
        f.write(whole[: len(whole) // 2])


# ----------------------------------------------------------------------------
# HEIF: HEIC (x265) and AVIF (aom) files encoded by Debian's heif-enc, all
# lossy (its lossless mode is off by one level here and there). The rasters
# are libheif's own decode by heif-convert (which applies the rotation and
# mirroring properties) through Pillow; the turned ones are checked against
# the upright picture.


def boxes(data, start, end):
    """(type, start, header size, end) of each box in data[start:end]."""
    found = []
    while start < end:
        size, kind = struct.unpack(">I4s", data[start : start + 8])
        found.append((kind, start, 8, start + size))
        start += size
    return found


def heif_with_transforms(data, rotation, mirror):
    """The file with an irot property (`rotation` quarter turns
    anticlockwise) and, unless `mirror` is None, an imir one after it (0:
    top and bottom swap, 1: left and right, as HEIF's amended text, iPhones
    and libheif read its bit), given to the primary item. The meta
    box grows, so the item locations in the mdat after it move as much."""
    data = bytearray(data)
    top = {k: (s, h, e) for k, s, h, e in boxes(data, 0, len(data))}
    meta_start, _, meta_end = top[b"meta"]
    assert top[b"mdat"][0] > meta_start
    inner = {k: (s, h, e) for k, s, h, e in boxes(data, meta_start + 12, meta_end)}
    pitm = inner[b"pitm"][0]
    primary = struct.unpack(">H", data[pitm + 12 : pitm + 14])[0]
    iprp_start, _, iprp_end = inner[b"iprp"]
    props = {k: (s, h, e) for k, s, h, e in boxes(data, iprp_start + 8, iprp_end)}
    ipco_start, _, ipco_end = props[b"ipco"]
    count = len(boxes(data, ipco_start + 8, ipco_end))
    added = struct.pack(">I4sB", 9, b"irot", rotation)
    indices = [count + 1]
    if mirror is not None:
        added += struct.pack(">I4sB", 9, b"imir", mirror)
        indices.append(count + 2)
    # ipma: version, flags, entry count, then item, association count and
    # associations (7-bit indices with the essential bit, or 15-bit when
    # flags & 1).
    ipma_start, _, ipma_end = props[b"ipma"]
    version, flags = data[ipma_start + 8], data[ipma_start + 11]
    assert version == 0
    pos = ipma_start + 16
    for _ in range(struct.unpack(">I", data[ipma_start + 12 : ipma_start + 16])[0]):
        item, n = struct.unpack(">HB", data[pos : pos + 3])
        width = 2 if flags & 1 else 1
        if item == primary:
            data[pos + 2] = n + len(indices)
            at = pos + 3 + n * width
            extra = b"".join(struct.pack(">H", 0x8000 | i) if width == 2 else bytes([0x80 | i])
                             for i in indices)
            data[at:at] = extra
            grown_ipma = len(extra)
            break
        pos += 3 + n * width
    data[ipco_end:ipco_end] = added
    growth = len(added) + grown_ipma
    # Sizes of the boxes that hold the additions.
    for start in (meta_start, iprp_start):
        struct.pack_into(">I", data, start, struct.unpack(">I", data[start : start + 4])[0] + growth)
    struct.pack_into(">I", data, ipco_start, ipco_end - ipco_start + len(added))
    ipma_start += len(added)
    struct.pack_into(">I", data, ipma_start,
                     struct.unpack(">I", data[ipma_start : ipma_start + 4])[0] + grown_ipma)
    # iloc: items stored in the file (construction method 0) move.
    iloc = inner[b"iloc"][0] + (len(added) + grown_ipma if inner[b"iloc"][0] > iprp_start else 0)
    version = data[iloc + 8]
    sizes = data[iloc + 12] << 8 | data[iloc + 13]
    offset_size, length_size, base_size = sizes >> 12, sizes >> 8 & 15, sizes >> 4 & 15
    index_size = sizes & 15 if version in (1, 2) else 0
    pos = iloc + 14
    id_size = 4 if version == 2 else 2
    items = struct.unpack(">I" if version == 2 else ">H", data[pos : pos + id_size])[0]
    pos += id_size

    def field(at, size, shift):
        if size == 0:
            return
        fmt = ">I" if size == 4 else ">Q"
        value = struct.unpack(fmt, data[at : at + size])[0]
        struct.pack_into(fmt, data, at, value + shift)

    for _ in range(items):
        pos += id_size
        method = 0
        if version in (1, 2):
            method = data[pos + 1] & 15
            pos += 2
        pos += 2  # data reference index
        moves = method == 0
        field(pos, base_size, growth if moves and base_size else 0)
        pos += base_size
        extents = struct.unpack(">H", data[pos : pos + 2])[0]
        pos += 2
        for _ in range(extents):
            pos += index_size
            field(pos, offset_size, growth if moves and not base_size else 0)
            pos += offset_size + length_size
    return bytes(data)


def heif_expected(path, scratch):
    """libheif's decode of the file's first picture, which heif-enc makes
    the primary one (heif-convert writes NAME-1.png, NAME-2.png... for a
    file of several)."""
    folder = tempfile.mkdtemp(dir=scratch)
    subprocess.run(["heif-convert", path, os.path.join(folder, "decoded.png")], check=True,
                   stdout=subprocess.DEVNULL)
    decoded = sorted(os.listdir(folder))
    im = Image.open(os.path.join(folder, decoded[0]))
    im.load()
    return im


def make_heifs(folder, scratch):
    pw, ph = 37, 29  # odd: coded larger and cropped
    photo = photo_rgb(pw, ph)
    alpha = [min(255, (y * 255) // (ph - 1) + (80 if x % 5 == 0 else 0)) for y in range(ph)
             for x in range(pw)]
    photo_png = save_png(os.path.join(scratch, "photo.png"), "RGB", (pw, ph), photo)
    rgba_png = save_png(os.path.join(scratch, "rgba.png"), "RGBA", (pw, ph),
                        [p + (a,) for p, a in zip(photo, alpha)])
    gray_png = save_png(os.path.join(scratch, "gray.png"), "L", (pw, ph),
                        [gray_of(*p) for p in photo])
    small_png = save_png(os.path.join(scratch, "small.png"), "RGB", (16, 12), photo_rgb(16, 12))
    # heif-enc carries a JPEG's EXIF block over as the picture's Exif item.
    dated_jpg = os.path.join(scratch, "dated.jpg")
    im = Image.new("RGB", (pw, ph))
    im.putdata(photo)
    im.save(dated_jpg, quality=95, exif=b"Exif\0\0" + exif_dated("2019:03:04 05:06:07"))

    def heif_enc(name, sources, *switches):
        path = os.path.join(folder, name)
        subprocess.run(["heif-enc", *switches, *sources, "-o", path], check=True,
                       stdout=subprocess.DEVNULL)
        return path

    def expect(name, im):
        write_pgm(os.path.join(folder, name + ".pgm"), *im.size, gray_over_white(im))

    for name, sources, switches in (
        ("lossy.heic", [photo_png], ["-q", "60"]),
        ("lossy-av1.avif", [photo_png], ["-q", "60"]),
        ("lossy-alpha.heic", [rgba_png], ["-q", "60"]),
        ("lossy-alpha-av1.avif", [rgba_png], ["-q", "60"]),
        ("lossy-gray.heic", [gray_png], ["-q", "60"]),
        # Two pictures: the first is the primary one, the one decoded.
        ("lossy-collection.heic", [photo_png, small_png], ["-q", "60"]),
        # Taken on 2019-03-04 at 05:06:07, as its Exif item says.
        ("lossy-dated.heic", [dated_jpg], ["-q", "60"]),
    ):
        path = heif_enc(name, sources, *switches)
        decoded = heif_expected(path, scratch)
        assert decoded.size == (pw, ph), name
        expect(os.path.splitext(name)[0], decoded)

    # Turned and mirrored: the pixels as stored, irot and imir properties
    # (added here: Debian's heif-enc writes none) saying how to show them.
    # Flat 16 x 16 blocks keep the lossy coding close to the upright levels.
    levels = [[20, 90, 160], [230, 60, 130]]
    uw, uh = 16 * 3, 16 * 2
    upright = Image.new("L", (uw, uh))
    upright.putdata([levels[y // 16][x // 16] for y in range(uh) for x in range(uw)])
    for name, stored_from_upright, rotation, mirror in (
        # Shown turned 90 degrees anticlockwise.
        ("lossy-irot-90.heic", Image.Transpose.ROTATE_270, 1, None),
        # Shown turned 270 degrees anticlockwise, then top and bottom swapped.
        ("lossy-irot-270-imir-av1.avif", Image.Transpose.TRANSVERSE, 3, 0),
    ):
        source = save_png(os.path.join(scratch, "stored.png"), "RGB", (uh, uw),
                          [(v, v, v) for v in upright.transpose(stored_from_upright).getdata()])
        path = heif_enc(name, [source], "-q", "90")
        with open(path, "rb") as f:
            plain = f.read()
        with open(path, "wb") as f:
            f.write(heif_with_transforms(plain, rotation, mirror))
        decoded = heif_expected(path, scratch)
        assert decoded.size == (uw, uh), name
        seen = gray_over_white(decoded)
        assert max(abs(a - b) for a, b in zip(seen, upright.getdata())) < 16, name
        expect(os.path.splitext(name)[0], decoded)

    with open(os.path.join(folder, "lossy.heic"), "rb") as f:
        whole = f.read()
    with open(os.path.join(folder, "bad-truncated.heic"), "wb") as f:
        f.write(whole[: len(whole) // 2])

    # Refused: pictures coded at 192 x 144 whose size properties (ispe)
    # declare 37 x 29; libheif would decode them at the coded size.
    big_png = save_png(os.path.join(scratch, "big.png"), "RGB", (192, 144), photo_rgb(192, 144))
    for name in ("bad-coded-larger.heic", "bad-coded-larger-av1.avif"):
        path = heif_enc(name, [big_png], "-q", "10")
        with open(path, "rb") as f:
            data = f.read()
        declared = struct.pack(">4sI", b"ispe", 0) + struct.pack(">II", 192, 144)
        assert data.count(declared) == 1, name
        with open(path, "wb") as f:
            f.write(data.replace(declared, declared[:8] + struct.pack(">II", 37, 29)))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "data")
    makers = {"jpeg": make_jpegs, "png": make_pngs, "gif": make_gifs, "tiff": make_tiffs,
              "webp": make_webps, "heif": make_heifs}
    for kind in sys.argv[2:] or makers:
        folder = os.path.join(data, kind)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with tempfile.TemporaryDirectory() as scratch:
            if kind in ("png", "gif"):
                makers[kind](folder)
            else:
                makers[kind](folder, scratch)


if __name__ == "__main__":
    main()
