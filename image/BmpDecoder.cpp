#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
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
    throw Error(ErrorReason::Damaged, reason);
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
            r.skip(4, "the info header");  // important colors
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

std::string bitsPerPixel(const BmpInfo& info) {
    return std::to_string(info.bitCount) + " bits per pixel";
}

void checkDimensions(const BmpInfo& info) {
    if (info.planes != 1) {
        fail("bad BMP: " + std::to_string(info.planes) + " color planes instead of 1");
    }
    if (info.width <= 0) {
        fail("bad BMP: width " + std::to_string(info.width));
    }
    if (info.height == 0 || info.height == INT32_MIN) {
        fail("bad BMP: height " + std::to_string(info.height));
    }
}

void checkPaletteSize(const BmpInfo& info) {
    const std::uint16_t bits = info.bitCount;
    if (bits <= 8 && info.colorsUsed > (1u << bits)) {
        fail("bad BMP: palette of " + std::to_string(info.colorsUsed) + " colors for " +
             bitsPerPixel(info));
    }
}

void checkUncompressed(const BmpInfo& info) {
    const std::uint16_t bits = info.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        fail("unsupported BMP bit count " + std::to_string(bits));
    }
}

void checkRle(const BmpInfo& info) {
    if (info.bitCount != (info.compression == kRle8 ? 8 : 4)) {
        fail("bad BMP: RLE" + std::string(info.compression == kRle8 ? "8" : "4") +
             " compression with " + bitsPerPixel(info));
    }
    if (info.height < 0) {
        fail("bad BMP: RLE compressed rows stored top-down");
    }
}

void checkBitfields(const BmpInfo& info) {
    if (info.bitCount != 16 && info.bitCount != 32) {
        fail("bad BMP: bit field compression with " + bitsPerPixel(info));
    }
    for (std::uint32_t mask : info.masks) {
        // A contiguous mask has no zero bit between its lowest and highest
        // one bits.
        const std::uint32_t low = mask & -mask;
        if (((mask + low) & mask) != 0) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08x", mask);
            fail(std::string("bad BMP: bit field mask ") + hex + " is not contiguous");
        }
    }
}

void checkCompression(const BmpInfo& info) {
    if (info.os2 && info.compression >= kBitfields) {
        fail("unsupported BMP compression " + std::to_string(info.compression) +
             compressionName(info.compression, true));
    }
    switch (info.compression) {
        case kRgb:
            checkUncompressed(info);
            break;
        case kRle8:
        case kRle4:
            checkRle(info);
            break;
        case kBitfields:
        case kAlphaBitfields:
            checkBitfields(info);
            break;
        default:
            fail("unsupported BMP compression " + std::to_string(info.compression) +
                 compressionName(info.compression, info.os2));
    }
}

void checkFormat(const BmpInfo& info) {
    checkDimensions(info);
    checkPaletteSize(info);
    checkCompression(info);
}

// The palette converted once to gray levels. Indices beyond the palette
// read as black, as they do on Windows.
// Kept for colour pictures too: each entry as R, G, B and a spare byte, and
// whether any of them is no gray.
struct GrayPalette {
    std::uint8_t gray[256] = {};
    std::uint8_t rgbx[256 * 4] = {};
    bool color = false;
};

GrayPalette readPalette(ByteReader& r, const BmpInfo& info) {
    GrayPalette palette;
    if (info.bitCount > 8) {
        return palette;  // a palette here only advises screens; the pixels are direct
    }
    const std::uint32_t maxColors = 1u << info.bitCount;
    std::size_t count = info.colorsUsed == 0 ? maxColors : info.colorsUsed;
    // Writers of OS/2 1.x files (ImageMagick among them) store only the
    // colors they use and start the pixels right after them; the pixel
    // data offset tells how many entries there really are.
    count = std::min(count, (info.pixelOffset - info.paletteOffset) / info.paletteEntrySize);
    r.seek(info.paletteOffset, "the palette");
    const std::uint8_t* entries = r.take(count * info.paletteEntrySize, "the palette");
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* bgr = entries + i * info.paletteEntrySize;
        palette.gray[i] = grayOf(bgr[2], bgr[1], bgr[0]);
        palette.rgbx[4 * i] = bgr[2];
        palette.rgbx[4 * i + 1] = bgr[1];
        palette.rgbx[4 * i + 2] = bgr[0];
        palette.color = palette.color || bgr[0] != bgr[1] || bgr[1] != bgr[2];
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

// An uncompressed row: `bytes` of pixels, `stride` with its padding to a
// multiple of 4 bytes.
struct RowLayout {
    std::uint64_t bytes;
    std::uint64_t stride;
};

RowLayout rowLayout(const BmpInfo& info) {
    const std::uint64_t bitsPerRow = std::uint64_t(info.width) * info.bitCount;
    return {(bitsPerRow + 7) / 8, (bitsPerRow + 31) / 32 * 4};
}

// Bytes of rows that uncompressed data needs from the pixel data offset on.
// The last row may lack its padding; some writers leave it out.
std::uint64_t rowDataBytes(const BmpInfo& info) {
    const RowLayout row = rowLayout(info);
    return row.stride * std::uint64_t(std::abs(info.height) - 1) + row.bytes;
}

// Uncompressed rows are all checked to be present before the raster is
// allocated.
void checkRowsPresent(const ByteReader& r, const BmpInfo& info) {
    const RowLayout row = rowLayout(info);
    const std::uint64_t needed = rowDataBytes(info);
    const std::uint64_t available = info.pixelOffset <= r.size() ? r.size() - info.pixelOffset : 0;
    if (available < needed) {
        const std::uint64_t rows =
            available < row.bytes ? 0 : (available - row.bytes) / row.stride + 1;
        fail("truncated BMP: pixel data ends after " + std::to_string(rows) + " of " +
             std::to_string(std::abs(info.height)) + " rows");
    }
}

// Hands each uncompressed row, straight from the file's bytes, to
// `convert(src, y)` with y the raster row it belongs to.
template <typename Convert>
void forEachRow(ByteReader& r, const BmpInfo& info, Convert&& convert) {
    const std::int32_t height = static_cast<std::int32_t>(std::abs(info.height));
    const RowLayout row = rowLayout(info);
    r.seek(info.pixelOffset, "the pixel data");
    for (std::int32_t k = 0; k < height; ++k) {
        const std::int32_t y = info.height < 0 ? k : height - 1 - k;
        convert(r.take(k == height - 1 ? row.bytes : row.stride, "the pixel data"), y);
    }
}

// Pixels stored as B, G, R and, in 32 bits, a spare byte: they take the fast
// path.
bool isPlainBgr(const BmpInfo& info) {
    if (info.bitCount == 32 && usesBitfields(info)) {
        return info.masks[0] == 0xFF0000 && info.masks[1] == 0xFF00 && info.masks[2] == 0xFF &&
               info.masks[3] == 0;
    }
    return info.bitCount == 24 || (info.bitCount == 32 && info.compression == kRgb);
}

// Red, green, blue and alpha masks of pixels that aren't plain B, G, R.
std::array<std::uint32_t, 4> channelMasks(const BmpInfo& info) {
    std::array<std::uint32_t, 4> masks = {info.masks[0], info.masks[1], info.masks[2], 0};
    if (usesBitfields(info)) {
        masks[3] = info.masks[3];
    } else if (info.bitCount == 16) {
        masks[0] = 0x7C00;  // 5-5-5, the top bit unused
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    return masks;
}

// 16- or 32-bit pixels taken apart by their masks, composed over white when
// one of the masks is alpha's.
class MaskedPixels {
  public:
    MaskedPixels(int bits, const std::array<std::uint32_t, 4>& masks)
        : bits_(bits), red_(masks[0]), green_(masks[1]), blue_(masks[2]), alpha_(masks[3]) {}

    void toRgbx(const std::uint8_t* src, std::uint8_t* rgbx, std::int32_t width) const {
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const std::uint32_t pixel = pixelAt(src, x);
            std::uint8_t r8 = red_(pixel), g8 = green_(pixel), b8 = blue_(pixel);
            if (alpha_.present()) {
                const std::uint8_t a8 = alpha_(pixel);
                r8 = overWhite(r8, a8);
                g8 = overWhite(g8, a8);
                b8 = overWhite(b8, a8);
            }
            rgbx[4 * x] = r8;
            rgbx[4 * x + 1] = g8;
            rgbx[4 * x + 2] = b8;
        }
    }

  private:
    std::uint32_t pixelAt(const std::uint8_t* src, std::size_t x) const {
        if (bits_ == 16) {
            return std::uint32_t(src[2 * x]) | std::uint32_t(src[2 * x + 1]) << 8;
        }
        return std::uint32_t(src[4 * x]) | std::uint32_t(src[4 * x + 1]) << 8 |
               std::uint32_t(src[4 * x + 2]) << 16 | std::uint32_t(src[4 * x + 3]) << 24;
    }

    int bits_;
    Channel red_, green_, blue_, alpha_;
};

// Color rows go through one row of R, G, B and a spare byte, the layout that
// converts to gray fastest.
void decodeColorRows(ByteReader& r, const BmpInfo& info, GrayRaster& out) {
    const std::int32_t width = out.width();
    Bytes rgbx;
    resizeBytes(rgbx, std::size_t(width) * 4);
    const auto via = [&](auto&& toRgbx) {
        forEachRow(r, info, [&](const std::uint8_t* src, std::int32_t y) {
            toRgbx(src, rgbx.data(), width);
            out.putRgbxRow(y, rgbx.data());
        });
    };
    if (isPlainBgr(info) && info.bitCount == 24) {
        via([](auto src, auto row, auto count) { bgrRowToRgbx<3>(src, row, count); });
    } else if (isPlainBgr(info)) {
        via([](auto src, auto row, auto count) { bgrRowToRgbx<4>(src, row, count); });
    } else {
        const MaskedPixels pixels(info.bitCount, channelMasks(info));
        via([&](const std::uint8_t* src, std::uint8_t* row, std::int32_t count) {
            pixels.toRgbx(src, row, count);
        });
    }
}

void decodeRows(ByteReader& r, const BmpInfo& info, const GrayPalette& palette, GrayRaster& out) {
    checkRowsPresent(r, info);
    out.begin(static_cast<std::int32_t>(info.width),
              static_cast<std::int32_t>(std::abs(info.height)));
    if (info.bitCount > 8) {
        decodeColorRows(r, info, out);
        return;
    }
    if (out.keepsColor() && palette.color) {
        const std::int32_t width = out.width();
        Bytes rgbx;
        resizeBytes(rgbx, std::size_t(width) * 4);
        const int bits = info.bitCount;
        const int perByte = 8 / bits;
        const unsigned valueMask = (1u << bits) - 1;
        forEachRow(r, info, [&](const std::uint8_t* src, std::int32_t y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                const unsigned index = (src[x / perByte] >> shift) & valueMask;
                std::memcpy(rgbx.data() + 4 * x, palette.rgbx + 4 * index, 4);
            }
            out.putRgbxRow(y, rgbx.data());
        });
        return;
    }
    forEachRow(r, info, [&](const std::uint8_t* src, std::int32_t y) {
        indexedRowToGray(src, info.bitCount, palette, out.row(y), out.width());
    });
}

// Pixels of one RLE run that lie inside the picture: `count` of them from
// column x of raster row y.
struct RleSpan {
    std::int32_t y;
    std::int64_t x;
    int count;
};

// Walks RLE8 or RLE4 data (always bottom-up), checking every command, and
// hands the pixels of each run that lie inside the picture to `visitor`:
// visitor.run(span, value) for an encoded run of `value` (in RLE4 two
// indices taking turns), visitor.copy(span, indices) for an absolute run.
// Runs are clipped at the row's right edge and runs above the top row are
// dropped, as every common reader does: ImageMagick encodes rows of odd width
// in the padded width. A delta that leaves the picture is an error. Data that
// stops without the end-of-bitmap marker is accepted only when it has already
// finished the top row, since nothing is then missing; anything shorter is
// truncated.
template <typename Visitor>
class RleWalker {
  public:
    RleWalker(ByteReader r, const BmpInfo& info, Visitor& visitor)
        : r_(r),
          width_(info.width),
          height_(info.height),
          rle4_(info.compression == kRle4),
          visitor_(visitor) {
        r_.seek(info.pixelOffset, "the pixel data");
    }

    void walk() {
        while (!endsHere()) {
            const std::uint8_t count = r_.u8("the RLE data");
            const std::uint8_t value = r_.u8("the RLE data");
            if (count > 0) {
                encodedRun(count, value);
            } else if (!escape(value)) {
                return;
            }
        }
    }

  private:
    // Whether the data stops here where it may; stopping anywhere else is
    // an error.
    bool endsHere() const {
        if (r_.has(2)) {
            return false;
        }
        if (row_ >= height_ || (row_ == height_ - 1 && x_ == width_)) {
            return true;
        }
        fail("truncated BMP: RLE data ends at row " + std::to_string(row_) + " of " +
             std::to_string(height_));
    }

    // False at the end of the bitmap.
    bool escape(std::uint8_t value) {
        switch (value) {
            case 0:  // end of line
                x_ = 0;
                ++row_;
                return true;
            case 1:  // end of bitmap
                return false;
            case 2:
                delta();
                return true;
            default:
                absoluteRun(value);
                return true;
        }
    }

    // Moves right and up.
    void delta() {
        const std::uint8_t dx = r_.u8("the RLE data");
        const std::uint8_t dy = r_.u8("the RLE data");
        x_ += dx;
        row_ += dy;
        if (x_ > width_ || row_ >= height_) {
            fail("bad BMP: RLE delta moves outside the picture");
        }
    }

    void encodedRun(int count, std::uint8_t value) {
        const RleSpan span = place(count);
        if (span.count > 0) {
            visitor_.run(span, value);
        }
    }

    // Padded to 16 bits.
    void absoluteRun(int count) {
        const std::size_t bytes = rle4_ ? (count + 1) / 2 : count;
        const std::uint8_t* src = r_.take(bytes, "the RLE data");
        if (bytes % 2 != 0 && r_.has(1)) {
            r_.skip(1, "the RLE data");
        }
        const RleSpan span = place(count);
        if (span.count > 0) {
            visitor_.copy(span, src);
        }
    }

    // Where a run of `count` pixels goes. x stops at the right edge, so that
    // whatever follows in the same row is clipped too.
    RleSpan place(int count) {
        const int inside =
            row_ < height_ ? static_cast<int>(std::min<std::int64_t>(count, width_ - x_)) : 0;
        const RleSpan span{static_cast<std::int32_t>(height_ - 1 - row_), x_, inside};
        x_ = std::min<std::int64_t>(x_ + count, width_);
        return span;
    }

    ByteReader r_;
    std::int64_t width_;
    std::int64_t height_;
    bool rle4_;
    Visitor& visitor_;
    std::int64_t x_ = 0;
    std::int64_t row_ = 0;  // counted from the bottom
};

template <typename Visitor>
void walkRle(const ByteReader& r, const BmpInfo& info, Visitor&& visitor) {
    RleWalker<std::remove_reference_t<Visitor>>(r, info, visitor).walk();
}

// The pass before the raster is allocated, so that a broken stream is
// refused first: the walker's own checks are the whole of it.
struct RleCheck {
    void run(const RleSpan& /*span*/, std::uint8_t /*value*/) {}
    void copy(const RleSpan& /*span*/, const std::uint8_t* /*indices*/) {}
};

struct RleWrite {
    GrayRaster& out;
    const GrayPalette& palette;
    bool rle4;
    bool color;  // kept in colour: R, G, B bytes a pixel

    // The span's pixels become the entries `indexAt(i)` gives, i from 0.
    template <typename IndexAt>
    void write(const RleSpan& span, IndexAt indexAt) {
        if (color) {
            std::uint8_t* dst = out.rgbRow(span.y) + 3 * static_cast<std::size_t>(span.x);
            for (int i = 0; i < span.count; ++i) {
                std::memcpy(dst + 3 * i, palette.rgbx + 4 * indexAt(i), 3);
            }
            return;
        }
        std::uint8_t* dst = out.row(span.y) + span.x;
        for (int i = 0; i < span.count; ++i) {
            dst[i] = palette.gray[indexAt(i)];
        }
    }

    void run(const RleSpan& span, std::uint8_t value) {
        const unsigned first = rle4 ? value >> 4 : value;
        const unsigned second = rle4 ? value & 15 : value;
        write(span, [&](int i) { return i % 2 == 0 ? first : second; });
    }

    void copy(const RleSpan& span, const std::uint8_t* src) {
        write(span, [&](int i) {
            return rle4 ? (i % 2 == 0 ? src[i / 2] >> 4 : src[i / 2] & 15) : unsigned{src[i]};
        });
    }
};

// Pixels the data never reaches stay white, as transparent over the paper.
void decodeRle(const ByteReader& r, const BmpInfo& info, const GrayPalette& palette,
               GrayRaster& out) {
    walkRle(r, info, RleCheck{});
    out.begin(static_cast<std::int32_t>(info.width), static_cast<std::int32_t>(info.height));
    const bool color = out.keepsColor() && palette.color;
    const std::size_t rowBytes = static_cast<std::size_t>(out.width()) * (color ? 3 : 1);
    for (std::int32_t y = 0; y < out.height(); ++y) {
        std::memset(color ? out.rgbRow(y) : out.row(y), 255, rowBytes);
    }
    walkRle(r, info, RleWrite{out, palette, info.compression == kRle4, color});
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
        walkRle(r, info, RleCheck{});
        return true;
    } catch (const Error&) {
        return false;
    }
}

// Some writers give a pixel data offset inside the headers or the palette
// (seen: 54, with a palette running to byte 1062). Their rows follow the
// palette, so they are taken from there when the file holds them; otherwise
// such an offset is refused rather than read as a picture without colors.
// An offset after the palette's first entry but before its declared end
// stays as it is when the rows aren't after the palette: OS/2 writers store
// only the colors they use.
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
        decodeRle(r, info, palette, out);
    } else {
        decodeRows(r, info, palette, out);
    }
}

}  // namespace folder2pdf
