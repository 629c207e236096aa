#include "image/GrayRaster.h"

#include "common/Text.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>

#include "image/Gray.h"

namespace folder2pdf {

void GrayRaster::checkSize(std::int32_t width, std::int32_t height, int bytesPerPixel) {
    if (width <= 0 || height <= 0) {
        throw Error(ErrorReason::Damaged, "the picture has no pixels (" + std::to_string(width) +
                                              " x " + std::to_string(height) + ")");
    }
    // The raster made must stay within 32 bits: one byte a pixel in gray,
    // three where colour rows are kept.
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    const std::int64_t bytes = std::int64_t{width} * height * bytesPerPixel;
    if (bytes > limit) {
        throw Error(ErrorReason::TooLarge,
                    "picture too large: " + groupedNumber(static_cast<std::uint64_t>(width)) +
                        " x " + groupedNumber(static_cast<std::uint64_t>(height)) +
                        " pixels need " + groupedNumber(static_cast<std::uint64_t>(bytes)) +
                        " bytes, more than the " + groupedNumber(limit) + " a picture may take");
    }
}

void GrayRaster::begin(std::int32_t width, std::int32_t height) {
    checkSize(width, height, keepColor_ ? 3 : 1);
    if (memoryCheck_) {
        memoryCheck_(std::uint64_t{static_cast<std::uint32_t>(width)} *
                         static_cast<std::uint32_t>(height) * (keepColor_ ? 3u : 1u),
                     decoderBytes_);
    }
    rgb_ = false;
    grayTouched_ = false;
    const std::int32_t pixels = width * height;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Pictures of hundreds of megabytes are allowed, but filling and freeing
    // them slows a fuzzer down a thousandfold; past the checks above, their
    // rows take the same paths as those of small pictures.
    if (pixels > (1 << 20)) {
        throw Error(ErrorReason::Damaged, "fuzzing build: over a megapixel, not decoded");
    }
#endif
    resizeBytes(imgData_, static_cast<std::size_t>(pixels));
    width_ = width;
    height_ = height;
}

std::uint8_t* GrayRaster::row(std::int32_t y) {
    grayTouched_ = true;
    return imgData_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
}

void GrayRaster::becomeRgb() {
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    resizeBytes(imgData_, pixels * 3);
    if (grayTouched_) {
        // From the end backwards, so that no gray byte is overwritten unread.
        std::uint8_t* data = imgData_.data();
        for (std::size_t i = pixels; i-- > 0;) {
            data[3 * i] = data[3 * i + 1] = data[3 * i + 2] = data[i];
        }
    }
    rgb_ = true;
}

std::uint8_t* GrayRaster::rgbRow(std::int32_t y) {
    if (!rgb_) {
        becomeRgb();
    }
    return imgData_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 3;
}

void GrayRaster::putRgbxRow(std::int32_t y, const std::uint8_t* rgbx) {
    if (!keepColor_) {
        rgbxRowToGray(rgbx, row(y), width_);
        return;
    }
    std::uint8_t* rgb = rgbRow(y);
    for (std::int32_t x = 0; x < width_; ++x) {
        rgb[3 * x] = rgbx[4 * x];
        rgb[3 * x + 1] = rgbx[4 * x + 1];
        rgb[3 * x + 2] = rgbx[4 * x + 2];
    }
}

void GrayRaster::putGrayRow(std::int32_t y, const std::uint8_t* gray) {
    if (!rgb_) {
        std::memcpy(row(y), gray, static_cast<std::size_t>(width_));
        return;
    }
    std::uint8_t* rgb = rgbRow(y);
    for (std::int32_t x = 0; x < width_; ++x) {
        rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = gray[x];
    }
}

namespace {

// Turns an 8 x 8 block of bytes about its diagonal: rows[i] holds row i,
// byte j (in memory order) being column j; afterwards rows[j] holds what
// was column j. Three rounds swap ever smaller sub-blocks across the
// diagonal: 4 x 4, then 2 x 2, then single bytes.
void transpose8x8(std::uint64_t rows[8]) {
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t t = ((rows[i] >> 32) ^ rows[i + 4]) & 0x00000000FFFFFFFFu;
        rows[i] ^= t << 32;
        rows[i + 4] ^= t;
    }
    for (int i : {0, 1, 4, 5}) {
        const std::uint64_t t = ((rows[i] >> 16) ^ rows[i + 2]) & 0x0000FFFF0000FFFFu;
        rows[i] ^= t << 16;
        rows[i + 2] ^= t;
    }
    for (int i : {0, 2, 4, 6}) {
        const std::uint64_t t = ((rows[i] >> 8) ^ rows[i + 1]) & 0x00FF00FF00FF00FFu;
        rows[i] ^= t << 8;
        rows[i + 1] ^= t;
    }
}

// 2: every row read backwards.
void mirror(std::uint8_t* pixels, std::ptrdiff_t width, std::ptrdiff_t height) {
    for (std::ptrdiff_t y = 0; y < height; ++y) {
        std::reverse(pixels + y * width, pixels + (y + 1) * width);
    }
}

// 4: the rows in reverse order.
void flip(std::uint8_t* pixels, std::ptrdiff_t width, std::ptrdiff_t height) {
    for (std::ptrdiff_t y = 0; y < height / 2; ++y) {
        std::swap_ranges(pixels + y * width, pixels + (y + 1) * width,
                         pixels + (height - 1 - y) * width);
    }
}

// 5 to 8: the upright picture is `height` wide and `width` tall, its pixel
// (x, y) taken from the stored row x and column y, either counted from the
// far side.
struct Turn {
    const std::uint8_t* pixels;
    std::ptrdiff_t width;  // of the stored picture
    std::ptrdiff_t height;
    bool rowsFromBottom;
    bool columnsFromRight;

    const std::uint8_t* sourceRow(std::ptrdiff_t x) const {
        return pixels + (rowsFromBottom ? height - 1 - x : x) * width;
    }
    std::ptrdiff_t sourceColumn(std::ptrdiff_t y) const {
        return columnsFromRight ? width - 1 - y : y;
    }
};

Turn turnOf(int orientation, const std::uint8_t* pixels, std::ptrdiff_t width,
            std::ptrdiff_t height) {
    const bool rowsFromBottom = orientation == 6 || orientation == 7;
    const bool columnsFromRight = orientation == 7 || orientation == 8;
    return {pixels, width, height, rowsFromBottom, columnsFromRight};
}

// Turns the 8 x 8 block of stored pixels whose first row starts at `source`,
// the next ones `rowStep` bytes apart, into the 8 upright rows from `upright`
// on, `stride` bytes apart: as eight 64-bit words, each reversed first when
// the columns count from the right.
void turnBlock(const std::uint8_t* source, std::ptrdiff_t rowStep, bool columnsFromRight,
               std::uint8_t* upright, std::ptrdiff_t stride) {
    std::uint64_t block[8];
    for (int i = 0; i < 8; ++i) {
        std::memcpy(&block[i], source + i * rowStep, 8);
        if (columnsFromRight) {
            block[i] = __builtin_bswap64(block[i]);
        }
    }
    transpose8x8(block);
    for (int j = 0; j < 8; ++j) {
        std::memcpy(upright + j * stride, &block[j], 8);
    }
}

// Every whole block within the first `blockW` upright rows and `blockH`
// upright columns. Blocks go tile by tile, 64 x 64 pixels, so that the rows
// read and written meanwhile stay within the cache and the address
// translation buffer; whole columns would touch a page a pixel.
void turnBlocks(const Turn turn, std::uint8_t* upright, std::ptrdiff_t blockW,
                std::ptrdiff_t blockH) {
    constexpr std::ptrdiff_t tile = 64;
    const std::ptrdiff_t rowStep = turn.rowsFromBottom ? -turn.width : turn.width;
    for (std::ptrdiff_t tileX = 0; tileX < blockH; tileX += tile) {
        for (std::ptrdiff_t tileY = 0; tileY < blockW; tileY += tile) {
            for (std::ptrdiff_t y0 = tileY; y0 < std::min(tileY + tile, blockW); y0 += 8) {
                const std::ptrdiff_t firstColumn = turn.columnsFromRight ? turn.width - y0 - 8 : y0;
                const std::uint8_t* source = turn.sourceRow(tileX) + firstColumn;
                std::uint8_t* target = upright + y0 * turn.height + tileX;
                for (std::ptrdiff_t x = 0; x < std::min(tile, blockH - tileX); x += 8) {
                    turnBlock(source + x * rowStep, rowStep, turn.columnsFromRight, target + x,
                              turn.height);
                }
            }
        }
    }
}

// The pixels that turnBlocks() left: whole upright rows from `blockW` on,
// and the columns from `blockH` on in the rows before.
void turnEdges(const Turn turn, std::uint8_t* upright, std::ptrdiff_t blockW,
               std::ptrdiff_t blockH) {
    for (std::ptrdiff_t y = 0; y < turn.width; ++y) {
        const std::ptrdiff_t column = turn.sourceColumn(y);
        for (std::ptrdiff_t x = y < blockW ? blockH : 0; x < turn.height; ++x) {
            upright[y * turn.height + x] = turn.sourceRow(x)[column];
        }
    }
}

// Kept out of orient(): inlined there, the block loops' pointers and steps
// spill to the stack and turning takes about a tenth longer.
[[gnu::noinline]] void turnUpright(const Turn turn, std::uint8_t* upright) {
    std::ptrdiff_t blockW = 0;  // upright rows and columns done in blocks
    std::ptrdiff_t blockH = 0;
    // transpose8x8() takes a word's lowest byte as its first column, which
    // holds for words loaded from memory only on little-endian machines.
    if constexpr (std::endian::native == std::endian::little) {
        blockW = turn.width / 8 * 8;
        blockH = turn.height / 8 * 8;
        turnBlocks(turn, upright, blockW, blockH);
    }
    turnEdges(turn, upright, blockW, blockH);
}

// Colour pictures turn pixel by pixel, tile by tile as the gray blocks go,
// so that the rows read stay within the cache.
void turnRgb(const Turn turn, std::uint8_t* upright) {
    constexpr std::ptrdiff_t tile = 64;
    for (std::ptrdiff_t tileX = 0; tileX < turn.height; tileX += tile) {
        for (std::ptrdiff_t y = 0; y < turn.width; ++y) {
            const std::uint8_t* column = turn.pixels + 3 * turn.sourceColumn(y);
            std::uint8_t* target = upright + 3 * (y * turn.height);
            for (std::ptrdiff_t x = tileX; x < std::min(tileX + tile, turn.height); ++x) {
                const std::ptrdiff_t row = turn.rowsFromBottom ? turn.height - 1 - x : x;
                std::memcpy(target + 3 * x, column + 3 * row * turn.width, 3);
            }
        }
    }
}

// Mirrors a colour picture as orientation 2 or 3 says, in place.
void mirrorRgb(std::uint8_t* pixels, std::ptrdiff_t width, std::ptrdiff_t height, int orientation) {
    const auto pixel = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
        return pixels + 3 * (y * width + x);
    };
    for (std::ptrdiff_t y = 0; y < (orientation == 3 ? (height + 1) / 2 : height); ++y) {
        const std::ptrdiff_t otherY = orientation == 3 ? height - 1 - y : y;
        for (std::ptrdiff_t x = 0; x < width; ++x) {
            const std::ptrdiff_t otherX = width - 1 - x;
            // Each pair once: in a row its left half, and the middle
            // row of an upside-down turn only up to its middle.
            if (otherY == y && otherX <= x) {
                break;
            }
            std::swap_ranges(pixel(x, y), pixel(x, y) + 3, pixel(otherX, otherY));
        }
    }
}

// Turns `pixels` (`channels` bytes a pixel) as an EXIF orientation says:
// 2 to 4 in place, 5 to 8 through `scratch`, which then trades places with
// `pixels`, width and height swapped.
void orientPixels(Bytes& pixels, Bytes& scratch, std::int32_t& width, std::int32_t& height,
                  int channels, int orientation) {
    const auto w = static_cast<std::ptrdiff_t>(width);
    const auto h = static_cast<std::ptrdiff_t>(height);
    std::uint8_t* const data = pixels.data();
    switch (orientation) {
        case 2:
            channels == 3 ? mirrorRgb(data, w, h, 2) : mirror(data, w, h);
            return;
        case 3:  // upside down: the whole gray raster read backwards
            channels == 3 ? mirrorRgb(data, w, h, 3) : std::reverse(data, data + w * h);
            return;
        case 4:  // whole rows trade places, whatever a pixel's bytes
            flip(data, channels * w, h);
            return;
        case 5:
        case 6:
        case 7:
        case 8:
            break;
        default:
            return;
    }
    resizeBytes(scratch, pixels.size());
    const Turn turn = turnOf(orientation, data, w, h);
    if (channels == 3) {
        turnRgb(turn, scratch.data());
    } else {
        turnUpright(turn, scratch.data());
    }
    pixels.swap(scratch);
    std::swap(width, height);
}

}  // namespace

void GrayRaster::orient(int orientation) {
    orientPixels(imgData_, scratch(), width_, height_, channels(), orientation);
}

int orientationTurnedBy(int orientation, int quarterTurns) {
    // Each orientation as a mirror (or none) followed by clockwise quarter
    // turns, which the extra turns add to.
    static constexpr int plain[4] = {1, 6, 3, 8};
    static constexpr int mirrored[4] = {2, 7, 4, 5};
    int mirror = 0;
    int turns = 0;
    for (int k = 0; k < 4; ++k) {
        if (plain[k] == orientation) {
            turns = k;
        } else if (mirrored[k] == orientation) {
            mirror = 1;
            turns = k;
        }
    }
    const int total = ((turns + quarterTurns) % 4 + 4) % 4;
    return mirror ? mirrored[total] : plain[total];
}

void turnClockwise(GrayImage& image, int quarterTurns, Bytes& scratch) {
    orientPixels(image.imgData, scratch, image.Width, image.Height, image.channels,
                 orientationTurnedBy(1, quarterTurns));
}

}  // namespace folder2pdf
