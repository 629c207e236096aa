#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/ByteReader.h"
#include "image/Decoders.h"
#include "image/Gray.h"

// The BMP reader: Windows info headers (40, 52, 56 bytes, V4, V5), OS/2 1.x
// core headers and OS/2 2.x headers; 1, 4 and 8 bits with a palette, 16 and
// 32 bits plain or with bit fields, 24 bits; RLE8 and RLE4. Where files
// disagree with one another, the choices are Windows': a palette index beyond
// the palette is black, the fourth byte of a plain 32-bit pixel is padding,
// and alpha counts only where bit fields declare an alpha mask.
namespace folder2pdf {

namespace {

// Values of biCompression. 3 and 4 mean Huffman 1D and RLE24 in OS/2 2.x
// headers.
enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6,
};

constexpr std::size_t kFileHeaderSize = 14;

// What the headers say about the picture, checked for consistency by
// checkFormat() before anything else relies on it.
struct BmpInfo {
    std::uint32_t headerSize = 0;
    bool os2 = false;  // OS/2 1.x (12-byte) or 2.x (16- or 64-byte) header
    std::int64_t width = 0;
    std::int64_t height = 0;  // as stored: negative for top-down rows
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t pixelOffset = 0;
};

[[noreturn]] void fail(const std::string& reason) {
    throw Error(ErrorKind::DecodeError, reason);
}

bool usesBitfields(const BmpInfo& info) {
    return info.compression == kBitfields || info.compression == kAlphaBitfields;
}

// The masks that a header of this size carries itself (V3 52/56, V4, V5).
int masksInHeader(const BmpInfo& info) {
    if (info.os2 || info.headerSize < 52) {
        return 0;
    }
    return info.headerSize == 52 ? 3 : 4;
}

BmpInfo readHeaders(ByteReader& r) {
    BmpInfo info;
    r.skip(2 + 4 + 4, "the file header");  // "BM", file size (often wrong), reserved
    info.pixelOffset = r.u32le("the file header");
    info.headerSize = r.u32le("the info header");
    switch (info.headerSize) {
        case 12:
        case 16:
        case 40:
        case 52:
        case 56:
        case 64:
        case 108:
        case 124:
            break;
        default:
            fail("unsupported BMP header size " + std::to_string(info.headerSize));
    }
    info.os2 = info.headerSize == 12 || info.headerSize == 16 || info.headerSize == 64;
    if (!r.has(info.headerSize - 4)) {
        r.fail("the info header");
    }
    if (info.headerSize == 12) {
        info.width = r.u16le("the info header");
        info.height = r.u16le("the info header");
        info.planes = r.u16le("the info header");
        info.bitCount = r.u16le("the info header");
        info.paletteEntrySize = 3;
    } else {
        info.width = r.i32le("the info header");
        info.height = r.i32le("the info header");
        info.planes = r.u16le("the info header");
        info.bitCount = r.u16le("the info header");
        // A 16-byte OS/2 2.x header stops here; its missing fields are zero.
        if (info.headerSize >= 40) {
            info.compression = r.u32le("the info header");
            r.skip(3 * 4, "the info header");  // image size, resolution
            info.colorsUsed = r.u32le("the info header");
            r.skip(4, "the info header");  // important colours
        }
    }
    // The masks always start right after the 40-byte part: inside the larger
    // headers, or as extra fields after a plain 40-byte one.
    r.seek(kFileHeaderSize + info.headerSize, "the info header");
    if (usesBitfields(info) && !info.os2) {
        const int wanted = info.compression == kAlphaBitfields ? 4 : 3;
        const int inHeader = masksInHeader(info);
        r.seek(kFileHeaderSize + 40, "the bit field masks");
        for (int i = 0; i < std::max(wanted, inHeader); ++i) {
            info.masks[i] = r.u32le("the bit field masks");
        }
        r.seek(std::max(r.position(), kFileHeaderSize + info.headerSize), "the bit field masks");
    }
    info.paletteOffset = r.position();
    return info;
}

std::string compressionName(std::uint32_t compression, bool os2) {
    switch (compression) {
        case kBitfields:
            return os2 ? " (OS/2 Huffman)" : "";
        case kJpeg:
            return os2 ? " (OS/2 RLE24)" : " (JPEG)";
        case kPng:
            return " (PNG)";
        default:
            return "";
    }
}

void checkFormat(const BmpInfo& info) {
    if (info.planes != 1) {
        fail("bad BMP: " + std::to_string(info.planes) + " colour planes instead of 1");
    }
    if (info.width <= 0) {
        fail("bad BMP: width " + std::to_string(info.width));
    }
    if (info.height == 0 || info.height == INT32_MIN) {
        fail("bad BMP: height " + std::to_string(info.height));
    }
    const std::uint16_t bits = info.bitCount;
    const std::string bitText = std::to_string(bits) + " bits per pixel";
    if (bits <= 8 && info.colorsUsed > (1u << bits)) {
        fail("bad BMP: palette of " + std::to_string(info.colorsUsed) + " colours for " + bitText);
    }
    if (info.os2 && info.compression >= kBitfields) {
        fail("unsupported BMP compression " + std::to_string(info.compression) +
             compressionName(info.compression, true));
    }
    switch (info.compression) {
        case kRgb:
            if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
                fail("unsupported BMP bit count " + std::to_string(bits));
            }
            break;
        case kRle8:
        case kRle4:
            if (bits != (info.compression == kRle8 ? 8 : 4)) {
                fail("bad BMP: RLE" + std::string(info.compression == kRle8 ? "8" : "4") +
                     " compression with " + bitText);
            }
            if (info.height < 0) {
                fail("bad BMP: RLE compressed rows stored top-down");
            }
            break;
        case kBitfields:
        case kAlphaBitfields:
            if (bits != 16 && bits != 32) {
                fail("bad BMP: bit field compression with " + bitText);
            }
            for (std::uint32_t mask : info.masks) {
                // A contiguous mask has no zero bit between its lowest and
                // highest one bits.
                const std::uint32_t low = mask & -mask;
                if (((mask + low) & mask) != 0) {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, "0x%08x", mask);
                    fail(std::string("bad BMP: bit field mask ") + hex + " is not contiguous");
                }
            }
            break;
        default:
            fail("unsupported BMP compression " + std::to_string(info.compression) +
                 compressionName(info.compression, info.os2));
    }
}

// The palette converted once to gray levels. Indices beyond the palette
// read as black, as they do on Windows.
struct GrayPalette {
    std::uint8_t gray[256] = {};
};

GrayPalette readPalette(ByteReader& r, const BmpInfo& info) {
    GrayPalette palette;
    if (info.bitCount > 8) {
        return palette;  // a palette here only advises screens; the pixels are direct
    }
    const std::uint32_t maxColors = 1u << info.bitCount;
    std::size_t count = info.colorsUsed == 0 ? maxColors : info.colorsUsed;
    // Writers of OS/2 1.x files (ImageMagick among them) store only the
    // colours they use and start the pixels right after them; the pixel
    // data offset tells how many entries there really are.
    count = std::min(count, (info.pixelOffset - info.paletteOffset) / info.paletteEntrySize);
    r.seek(info.paletteOffset, "the palette");
    const std::uint8_t* entries = r.take(count * info.paletteEntrySize, "the palette");
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* bgr = entries + i * info.paletteEntrySize;
        palette.gray[i] = grayOf(bgr[2], bgr[1], bgr[0]);
    }
    return palette;
}

// One bit field channel, scaled from its own width to 8 bits by
// value * 255 / max rounded to nearest. (max is 2^n - 1, odd, so no value
// falls on an exact half.)
class Channel {
  public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask == 0 ? 0 : std::countr_zero(mask)), max_(mask >> shift_) {
        if (max_ <= 0xFFFF) {
            table_.resize(max_ + 1);
            for (std::uint32_t v = 0; v <= max_; ++v) {
                table_[v] = scale(v);
            }
        }
    }

    bool present() const { return mask_ != 0; }

    std::uint8_t operator()(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? scale(v) : table_[v];
    }

  private:
    std::uint8_t scale(std::uint32_t v) const {
        if (max_ == 0) {
            return 0;
        }
        return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max_ / 2) / max_);
    }

    std::uint32_t mask_;
    int shift_;
    std::uint32_t max_;
    std::vector<std::uint8_t> table_;
};

void indexedRowToGray(const std::uint8_t* src, int bits, const GrayPalette& palette,
                      std::uint8_t* gray, std::int32_t width) {
    if (bits == 8) {
        for (std::int32_t x = 0; x < width; ++x) {
            gray[x] = palette.gray[src[x]];
        }
        return;
    }
    const int perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    for (std::int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        gray[x] = palette.gray[(src[x / perByte] >> shift) & valueMask];
    }
}

// B, G, R pixels of 3 or 4 bytes to R, G, B and a spare byte. Pixels are
// moved as 4-byte words with red and blue swapped, which the compiler turns
// into vector code; a 3-byte pixel's word carries the next pixel's first byte
// as its spare. The row's last pixel is moved byte by byte: its word could
// reach past the end of the file.
template <std::size_t kBytes>
void bgrRowToRgbx(const std::uint8_t* src, std::uint8_t* rgbx, std::int32_t pixels) {
    // Offsets in size_t: 4 x pixels passes 2^31 in rows of over 536 million pixels.
    const auto width = static_cast<std::size_t>(pixels);
    std::size_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, src + kBytes * x, 4);
            p = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
            std::memcpy(rgbx + 4 * x, &p, 4);
        }
    }
    for (; x < width; ++x) {
        rgbx[4 * x] = src[kBytes * x + 2];
        rgbx[4 * x + 1] = src[kBytes * x + 1];
        rgbx[4 * x + 2] = src[kBytes * x];
    }
}

// Bytes of rows that uncompressed data needs from the pixel data offset on.
// The last row may lack its padding; some writers leave it out.
std::uint64_t rowDataBytes(const BmpInfo& info) {
    const std::uint64_t bitsPerRow = std::uint64_t(info.width) * info.bitCount;
    const std::uint64_t stride = (bitsPerRow + 31) / 32 * 4;
    return stride * std::uint64_t(std::abs(info.height) - 1) + (bitsPerRow + 7) / 8;
}

// Uncompressed rows: every row is checked to be present before the raster is
// allocated, then converted straight from the file's bytes.
void decodeRows(ByteReader& r, const BmpInfo& info, const GrayPalette& palette, GrayRaster& out) {
    const std::int32_t width = static_cast<std::int32_t>(info.width);
    const std::int32_t height = static_cast<std::int32_t>(std::abs(info.height));
    const std::uint64_t bitsPerRow = std::uint64_t(info.width) * info.bitCount;
    const std::uint64_t rowBytes = (bitsPerRow + 7) / 8;
    const std::uint64_t stride = (bitsPerRow + 31) / 32 * 4;
    const std::uint64_t needed = rowDataBytes(info);
    const std::uint64_t available = info.pixelOffset <= r.size() ? r.size() - info.pixelOffset : 0;
    if (available < needed) {
        const std::uint64_t rows = available < rowBytes ? 0 : (available - rowBytes) / stride + 1;
        fail("truncated BMP: pixel data ends after " + std::to_string(rows) + " of " +
             std::to_string(height) + " rows");
    }
    out.begin(width, height);
    r.seek(info.pixelOffset, "the pixel data");

    const int bits = info.bitCount;
    bool plainBgr = bits == 24 || (bits == 32 && info.compression == kRgb);
    if (bits == 32 && usesBitfields(info) && info.masks[0] == 0xFF0000 && info.masks[1] == 0xFF00 &&
        info.masks[2] == 0xFF && info.masks[3] == 0) {
        plainBgr = true;
    }
    std::uint32_t masks[4] = {info.masks[0], info.masks[1], info.masks[2], 0};
    if (usesBitfields(info)) {
        masks[3] = info.masks[3];
    } else if (bits == 16) {
        masks[0] = 0x7C00;  // 5-5-5, the top bit unused
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);

    // Colour rows go through one row of R, G, B and a spare byte, the layout
    // that converts to gray fastest.
    Bytes rgbx;
    if (bits > 8) {
        resizeBytes(rgbx, std::size_t(width) * 4);
    }
    for (std::int32_t k = 0; k < height; ++k) {
        const std::int32_t y = info.height < 0 ? k : height - 1 - k;
        const std::uint8_t* src = r.take(k == height - 1 ? rowBytes : stride, "the pixel data");
        if (bits <= 8) {
            indexedRowToGray(src, bits, palette, out.row(y), width);
            continue;
        }
        if (plainBgr && bits == 24) {
            bgrRowToRgbx<3>(src, rgbx.data(), width);
        } else if (plainBgr) {
            bgrRowToRgbx<4>(src, rgbx.data(), width);
        } else {
            for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
                std::uint32_t pixel;
                if (bits == 16) {
                    pixel = std::uint32_t(src[2 * x]) | std::uint32_t(src[2 * x + 1]) << 8;
                } else {
                    pixel = std::uint32_t(src[4 * x]) | std::uint32_t(src[4 * x + 1]) << 8 |
                            std::uint32_t(src[4 * x + 2]) << 16 |
                            std::uint32_t(src[4 * x + 3]) << 24;
                }
                std::uint8_t r8 = red(pixel), g8 = green(pixel), b8 = blue(pixel);
                if (alpha.present()) {
                    const std::uint8_t a8 = alpha(pixel);
                    r8 = overWhite(r8, a8);
                    g8 = overWhite(g8, a8);
                    b8 = overWhite(b8, a8);
                }
                rgbx[4 * x] = r8;
                rgbx[4 * x + 1] = g8;
                rgbx[4 * x + 2] = b8;
            }
        }
        out.putRgbxRow(y, rgbx.data());
    }
}

// Walks RLE8 or RLE4 data (always bottom-up), checking every command, and
// writes the pixels into `out`, or only checks them when `out` is null: the
// decoder walks once without writing so that a broken stream is refused
// before the raster is allocated. Pixels the data never reaches stay white,
// as transparent over the paper. Runs are clipped at the row's right edge and
// runs above the top row are dropped, as every common reader does: ImageMagick
// encodes rows of odd width in the padded width. A delta that leaves the
// picture is an error. Data that stops without the end-of-bitmap marker is
// accepted only when it has already finished the top row, since nothing is
// then missing; anything shorter is truncated.
void walkRle(ByteReader r, const BmpInfo& info, const GrayPalette& palette, GrayRaster* out) {
    const std::int64_t width = info.width;
    const std::int64_t height = info.height;
    r.seek(info.pixelOffset, "the pixel data");
    const bool rle4 = info.compression == kRle4;
    std::int64_t x = 0;
    std::int64_t row = 0;  // counted from the bottom
    // Where a run of `count` pixels goes and how many of them lie inside the
    // picture (none to write when only checking). x stops at the right edge,
    // so that whatever follows in the same row is clipped too.
    struct Span {
        std::uint8_t* dst;
        int count;
    };
    auto place = [&](int count) -> Span {
        const int inside =
            row < height ? static_cast<int>(std::min<std::int64_t>(count, width - x)) : 0;
        std::uint8_t* dst =
            out && inside > 0 ? out->row(static_cast<std::int32_t>(height - 1 - row)) + x : nullptr;
        x = std::min<std::int64_t>(x + count, width);
        return {dst, dst ? inside : 0};
    };
    for (;;) {
        if (!r.has(2)) {
            if (row >= height || (row == height - 1 && x == width)) {
                return;
            }
            fail("truncated BMP: RLE data ends at row " + std::to_string(row) + " of " +
                 std::to_string(height));
        }
        const std::uint8_t count = r.u8("the RLE data");
        const std::uint8_t value = r.u8("the RLE data");
        if (count > 0) {
            const Span span = place(count);
            const std::uint8_t first = palette.gray[rle4 ? value >> 4 : value];
            const std::uint8_t second = palette.gray[rle4 ? value & 15 : value];
            for (int i = 0; i < span.count; ++i) {
                span.dst[i] = i % 2 == 0 ? first : second;
            }
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++row;
                break;
            case 1:  // end of bitmap
                return;
            case 2: {  // delta: move right and up
                const std::uint8_t dx = r.u8("the RLE data");
                const std::uint8_t dy = r.u8("the RLE data");
                x += dx;
                row += dy;
                if (x > width || row >= height) {
                    fail("bad BMP: RLE delta moves outside the picture");
                }
                break;
            }
            default: {  // absolute run of `value` pixels, padded to 16 bits
                const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
                const std::uint8_t* src = r.take(bytes, "the RLE data");
                if (bytes % 2 != 0 && r.has(1)) {
                    r.skip(1, "the RLE data");
                }
                const Span span = place(value);
                for (int i = 0; i < span.count; ++i) {
                    const std::uint8_t index =
                        rle4 ? (i % 2 == 0 ? src[i / 2] >> 4 : src[i / 2] & 15) : src[i];
                    span.dst[i] = palette.gray[index];
                }
            }
        }
    }
}

// Whether the file holds complete pixel data from `offset` on.
bool holdsRowsAt(const ByteReader& r, BmpInfo info, std::size_t offset) {
    if (offset > r.size()) {
        return false;
    }
    if (info.compression != kRle8 && info.compression != kRle4) {
        return r.size() - offset >= rowDataBytes(info);
    }
    info.pixelOffset = static_cast<std::uint32_t>(offset);
    try {
        walkRle(r, info, GrayPalette{}, nullptr);
        return true;
    } catch (const Error&) {
        return false;
    }
}

// Some writers give a pixel data offset inside the headers or the palette
// (seen: 54, with a palette running to byte 1062). Their rows follow the
// palette, so they are taken from there when the file holds them; otherwise
// such an offset is refused rather than read as a picture without colours.
// An offset after the palette's first entry but before its declared end
// stays as it is when the rows aren't after the palette: OS/2 writers store
// only the colours they use.
void locatePixels(const ByteReader& r, BmpInfo& info) {
    std::uint64_t entries = info.colorsUsed;
    if (entries == 0 && info.bitCount <= 8) {
        entries = 1u << info.bitCount;
    }
    const std::uint64_t paletteEnd = info.paletteOffset + entries * info.paletteEntrySize;
    if (info.pixelOffset < paletteEnd && holdsRowsAt(r, info, paletteEnd)) {
        info.pixelOffset = static_cast<std::uint32_t>(paletteEnd);
        return;
    }
    const std::string offset = "bad BMP: pixel data offset " + std::to_string(info.pixelOffset);
    if (info.pixelOffset < info.paletteOffset) {
        fail(offset + " lies inside the headers");
    }
    if (info.bitCount <= 8 && info.pixelOffset < info.paletteOffset + info.paletteEntrySize) {
        fail(offset + " leaves no room for the palette");
    }
}

}  // namespace

bool sniffBmp(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

void decodeBmp(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    ByteReader r(data, size, "BMP");
    BmpInfo info = readHeaders(r);
    checkFormat(info);
    // GrayRaster::begin() applies the loader's size limits as it allocates.
    // They are checked here first so that a header declaring an oversized
    // picture is an overflow error, not a complaint about the pixel data that
    // a small file cannot hold.
    GrayRaster::checkSize(static_cast<std::int32_t>(info.width),
                          static_cast<std::int32_t>(std::abs(info.height)));
    locatePixels(r, info);
    const GrayPalette palette = readPalette(r, info);
    if (info.compression == kRle8 || info.compression == kRle4) {
        walkRle(r, info, palette, nullptr);
        out.begin(static_cast<std::int32_t>(info.width), static_cast<std::int32_t>(info.height));
        for (std::int32_t y = 0; y < out.height(); ++y) {
            std::memset(out.row(y), 255, static_cast<std::size_t>(out.width()));
        }
        walkRle(r, info, palette, &out);
    } else {
        decodeRows(r, info, palette, out);
    }
}

}  // namespace folder2pdf
