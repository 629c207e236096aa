#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "image/Decoders.h"
#include "image/Gray.h"
#include "tests/TestSupport.h"

// Test files are described by designated initializers that name only the
// fields differing from Header's defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace folder2pdf {
namespace {

using ByteVector = std::vector<std::uint8_t>;

struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    ByteVector gray;
};

Picture decode(const ByteVector& file) {
    Bytes gray;
    GrayRaster raster(gray);
    decodePicture(file.data(), file.size(), raster);
    return {raster.width(), raster.height(), ByteVector(gray.begin(), gray.end())};
}

using Header = testsupport::BmpHeader;
using testsupport::bmpFile;

void put16(ByteVector& f, std::uint32_t v) {
    f.push_back(v & 0xFF);
    f.push_back(v >> 8 & 0xFF);
}

// The reference picture, 3 x 2: colour number y * 3 + x at (x, y), y = 0 on top.
struct Rgb {
    std::uint8_t r, g, b;
};
constexpr Rgb kColors[6] = {{255, 0, 0},     {0, 255, 0},  {0, 0, 255},
                            {255, 255, 255}, {10, 20, 30}, {0, 0, 0}};

ByteVector referenceGray() {
    ByteVector gray;
    for (const Rgb& c : kColors) {
        gray.push_back(grayOf(c.r, c.g, c.b));
    }
    return gray;
}

ByteVector paletteOf(int entrySize) {
    ByteVector p;
    for (const Rgb& c : kColors) {
        p.insert(p.end(), {c.b, c.g, c.r, 0});
        p.resize(p.size() - 4 + entrySize);
    }
    return p;
}

// The reference picture's rows as stored: bottom row first unless top-down,
// each padded to 4 bytes with junk. `value(colour)` is a pixel as stored:
// packed most significant bits first below 8 bits, little-endian bytes above.
using PixelValue = std::uint32_t (*)(int colour);
ByteVector storeRows(int bits, bool topDown, PixelValue value) {
    ByteVector data;
    for (int k = 0; k < 2; ++k) {
        const int y = topDown ? k : 1 - k;
        unsigned packed = 0, packedBits = 0;
        for (int x = 0; x < 3; ++x) {
            const std::uint32_t v = value(3 * y + x);
            for (int i = 0; i < bits / 8; ++i) {
                data.push_back(v >> 8 * i & 0xFF);
            }
            if (bits < 8) {
                packed = packed << bits | v;
                packedBits += bits;
            }
            if (packedBits == 8) {
                data.push_back(packed);
                packed = packedBits = 0;
            }
        }
        if (packedBits > 0) {
            data.push_back(packed << (8 - packedBits));
        }
        while (data.size() % 4 != 0) {
            data.push_back(0xEE);
        }
    }
    return data;
}

std::uint32_t bgr(int i) {
    return kColors[i].b | kColors[i].g << 8 | kColors[i].r << 16;
}
std::uint32_t bgrJunk(int i) {
    return bgr(i) | 0x55000000;
}
std::uint32_t rgbx(int i) {
    return kColors[i].r | kColors[i].g << 8 | kColors[i].b << 16;
}
// 10 bits per channel, red highest: c widened as c * 1023 / 255 scales back to c.
std::uint32_t rgb10(int i) {
    auto wide = [](std::uint32_t c) { return c << 2 | c >> 6; };
    return wide(kColors[i].r) << 20 | wide(kColors[i].g) << 10 | wide(kColors[i].b);
}
std::uint32_t index(int i) {
    return i;
}

TEST(BmpDecoder, EveryUncompressedLayoutGivesTheReferencePicture) {
    struct Layout {
        const char* name;
        Header header;
        bool topDown;
        PixelValue value;
    };
    const Layout layouts[] = {
        {"24-bit", {}, false, bgr},
        {"24-bit top-down", {.height = -2}, true, bgr},
        {"24-bit V5 header", {.size = 124}, false, bgr},
        {"24-bit OS/2 1.x core header", {.size = 12}, false, bgr},
        {"24-bit OS/2 2.x short header", {.size = 16}, false, bgr},
        {"32-bit BI_RGB ignores the fourth byte", {.bits = 32}, false, bgrJunk},
        {"32-bit bit fields B,G,R,x",
         {.bits = 32, .compression = 3, .masks = {0xFF0000, 0xFF00, 0xFF}},
         false,
         bgrJunk},
        {"32-bit bit fields R,G,B,x",
         {.bits = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000}},
         false,
         rgbx},
        {"32-bit 10-10-10 bit fields in a 56-byte header",
         {.size = 56, .bits = 32, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF, 0}},
         false,
         rgb10},
        {"8-bit palette", {.bits = 8, .palette = paletteOf(4)}, false, index},
        {"8-bit core header, 3-byte palette entries",
         {.size = 12, .bits = 8, .palette = paletteOf(3)},
         false,
         index},
        {"8-bit OS/2 2.x header", {.size = 64, .bits = 8, .palette = paletteOf(4)}, false, index},
        {"4-bit palette", {.bits = 4, .colorsUsed = 6, .palette = paletteOf(4)}, false, index},
        {"pixel offset at the palette's start",
         {.bits = 8, .colorsUsed = 6, .palette = paletteOf(4), .pixelOffset = 54},
         false,
         index},
        {"pixel offset inside the headers", {.pixelOffset = 20}, false, bgr},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        ByteVector pixels = storeRows(layout.header.bits, layout.topDown, layout.value);
        const Picture picture = decode(bmpFile(layout.header, pixels));
        EXPECT_EQ(picture.width, 3);
        EXPECT_EQ(picture.height, 2);
        EXPECT_EQ(picture.gray, referenceGray());
        if (layout.header.bits != 32) {  // some writers leave out the last row's padding
            pixels.resize(pixels.size() - 1);
            EXPECT_EQ(decode(bmpFile(layout.header, pixels)).gray, referenceGray());
        }
    }
}

TEST(BmpDecoder, IndexBeyondThePaletteIsBlack) {
    const Header header{
        .width = 2, .height = 1, .bits = 8, .colorsUsed = 1, .palette = {255, 255, 255, 0}};
    EXPECT_EQ(decode(bmpFile(header, {0, 200, 0, 0})).gray, (ByteVector{255, 0}));
}

// One row of three pixels, 16 or 32 bits each, in a header of `size` bytes.
Header oneRow(std::uint32_t size, std::uint16_t bits, std::uint32_t compression,
              std::vector<std::uint32_t> masks = {}) {
    return {.size = size,
            .width = 3,
            .height = 1,
            .bits = bits,
            .compression = compression,
            .masks = std::move(masks)};
}

TEST(BmpDecoder, SixteenBitChannelsScaleToEightBitsRounded) {
    struct Case {
        const char* name;
        Header header;
        std::uint16_t pixels[3];
        Rgb expected[3];
    };
    // 5 bits: 16 -> 131.6 -> 132, 1 -> 8.2 -> 8; 6 bits: 32 -> 129.5 -> 130, 1 -> 4.
    const std::vector<std::uint32_t> masks565 = {0xF800, 0x07E0, 0x1F};
    const Case cases[] = {
        {"5-5-5 BI_RGB, top bit ignored",
         oneRow(40, 16, 0),
         {0x7C00, 16 << 10 | 1 << 5, 0x8000 | 0x1F},
         {{255, 0, 0}, {132, 8, 0}, {0, 0, 255}}},
        {"5-6-5 masks after a 40-byte header",
         oneRow(40, 16, 3, masks565),
         {0xF800, 16 << 11 | 32 << 5 | 1, 0x07E0},
         {{255, 0, 0}, {132, 130, 8}, {0, 255, 0}}},
        {"5-6-5 masks in a 52-byte header",
         oneRow(52, 16, 3, masks565),
         {0xF800, 16 << 11 | 32 << 5 | 1, 0x07E0},
         {{255, 0, 0}, {132, 130, 8}, {0, 255, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteVector pixels;
        for (std::uint16_t p : c.pixels) {
            put16(pixels, p);
        }
        pixels.resize(8, 0);
        ByteVector expected;
        for (const Rgb& e : c.expected) {
            expected.push_back(grayOf(e.r, e.g, e.b));
        }
        EXPECT_EQ(decode(bmpFile(c.header, pixels)).gray, expected);
    }
}

TEST(BmpDecoder, AlphaMaskComposesOverWhiteOnlyWithBitFields) {
    // B, G, R, A: colour (200, 100, 50) at alpha 0, 128 and 255.
    const ByteVector pixels = {50, 100, 200, 0, 50, 100, 200, 128, 50, 100, 200, 255};
    const std::uint8_t opaque = grayOf(200, 100, 50);
    const std::uint8_t half = grayOf(overWhite(200, 128), overWhite(100, 128), overWhite(50, 128));
    const std::vector<std::uint32_t> masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const ByteVector composed = {255, half, opaque};
    EXPECT_EQ(decode(bmpFile(oneRow(124, 32, 3, masks), pixels)).gray, composed) << "V5 bit fields";
    EXPECT_EQ(decode(bmpFile(oneRow(40, 32, 6, masks), pixels)).gray, composed)
        << "alpha bit fields after a 40-byte header";
    EXPECT_EQ(decode(bmpFile(oneRow(124, 32, 0, masks), pixels)).gray, ByteVector(3, opaque))
        << "V5 BI_RGB ignores the alpha mask";
}

// A palette of 4 for the RLE tests: black, red, blue, (10, 20, 30).
const ByteVector kRlePalette = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 30, 20, 10, 0};
const std::uint8_t kW = 255;
const std::uint8_t kG[4] = {0, grayOf(255, 0, 0), grayOf(0, 0, 255), grayOf(10, 20, 30)};

TEST(BmpDecoder, Rle8RunsDeltasAndSkippedPixels) {
    const Header header{
        .width = 6, .height = 3, .bits = 8, .compression = 1, .palette = kRlePalette};
    const ByteVector data = {
        3, 1,           // bottom row: 3 x red
        0, 3, 2, 3, 2,  // absolute run of 3: blue, (10,20,30), blue
        0,              //   padding to 16 bits
        0, 0,           // end of line
        0, 2, 2, 1,     // delta: 2 right, 1 up, skipping the middle row
        2, 3,           // top row, x = 2..3: (10,20,30)
        0, 1,           // end of bitmap
    };
    EXPECT_EQ(decode(bmpFile(header, data)).gray,
              (ByteVector{kW, kW, kG[3], kG[3], kW, kW,  // top
                          kW, kW, kW, kW, kW, kW, kG[1], kG[1], kG[1], kG[2], kG[3], kG[2]}));
}

TEST(BmpDecoder, Rle4AlternatesNibblesAndPadsAbsoluteRuns) {
    const Header header{
        .width = 10, .height = 2, .bits = 4, .compression = 2, .palette = kRlePalette};
    const ByteVector data = {
        5, 0x12,                    // bottom row: 1 2 1 2 1
        0, 5,    0x30, 0x12, 0x30,  // absolute run of 5: 3 0 1 2 3
        0,                          //   3 bytes, padded to 4
        0, 0,                       // end of line
        0, 2,    4,    0,           // delta: 4 right
        3, 0x21,                    // 2 1 2
        0, 1,                       // end of bitmap
    };
    EXPECT_EQ(decode(bmpFile(header, data)).gray,
              (ByteVector{kW,    kW,    kW,    kW,    kG[2], kG[1], kG[2], kW,    kW,    kW,  // top
                          kG[1], kG[2], kG[1], kG[2], kG[1], kG[3], kG[0], kG[1], kG[2], kG[3]}));
}

TEST(BmpDecoder, RleRunsPastTheRowEndOrTheTopRowAreClipped) {
    const Header rle8{.width = 2, .height = 2, .bits = 8, .compression = 1, .palette = kRlePalette};
    const ByteVector data8 = {
        3, 1,              // bottom row: 3 x red, the third dropped
        0, 3, 2, 2, 2, 0,  // absolute run of 3 blue, all past the edge
        0, 0,              // end of line
        0, 3, 3, 2, 3, 0,  // top row: absolute run, the third dropped
        0, 0, 2, 1,        // a row above the top, dropped
        0, 1,              // end of bitmap
    };
    EXPECT_EQ(decode(bmpFile(rle8, data8)).gray, (ByteVector{kG[3], kG[2], kG[1], kG[1]}));
    const Header rle4{.width = 3, .height = 2, .bits = 4, .compression = 2, .palette = kRlePalette};
    const ByteVector data4 = {
        0, 5,    0x31, 0x23, 0x10, 0,  // bottom row, absolute: 3 1 2, then 3 1 dropped; padded
        0, 0,                          // end of line
        2, 0x12, 3,    0x30,           // top row: 1 2, then 3 (its 0 3 dropped)
        0, 1,                          // end of bitmap
    };
    EXPECT_EQ(decode(bmpFile(rle4, data4)).gray,
              (ByteVector{kG[1], kG[2], kG[3], kG[3], kG[1], kG[2]}));
}

// Data may stop without the end marker once the top row is done, even where
// an absolute run's pad would be; a delta may move to x = width.
TEST(BmpDecoder, RleEndsAtTheTopRowsEnd) {
    const Header header{
        .width = 3, .height = 1, .bits = 8, .compression = 1, .palette = kRlePalette};
    EXPECT_EQ(decode(bmpFile(header, {3, 1})).gray, ByteVector(3, kG[1]));
    EXPECT_EQ(decode(bmpFile(header, {0, 3, 1, 2, 3})).gray, (ByteVector{kG[1], kG[2], kG[3]}));
    EXPECT_EQ(decode(bmpFile(header, {1, 1, 0, 2, 2, 0, 0, 1})).gray, (ByteVector{kG[1], kW, kW}));
    EXPECT_THROW(decode(bmpFile(header, {1, 1})), Error);
}

// A file of a few dozen bytes may declare a large, valid, white picture:
// accepted, its one allocation being the raster.
TEST(BmpDecoder, TinyRleFileMayDeclareALargeWhitePicture) {
    const Header header{.width = 4000,
                        .height = 4000,
                        .bits = 8,
                        .compression = 1,
                        .palette = {0, 0, 0, 0, 255, 255, 255, 0}};
    const Picture picture = decode(bmpFile(header, {0, 1}));
    ASSERT_EQ(picture.gray.size(), 4000u * 4000u);
    EXPECT_EQ(picture.gray.front(), 255);
    EXPECT_EQ(picture.gray.back(), 255);
}

// Heavy (about 4.5 GB of memory): run by hand under the sanitizers with
// --gtest_also_run_disabled_tests. A 24-bit row of 540 million pixels takes
// byte offsets past 2^31 in the row conversions, which computed 4 x pixel
// in 32 bits.
TEST(BmpDecoder, DISABLED_RowOfOver536MillionPixelsConvertsWithoutOverflow) {
    const std::int32_t width = 540000000;
    ByteVector pixels((3 * std::size_t{width} + 3) / 4 * 4, 0);
    pixels[3 * std::size_t{width - 1} + 2] = 255;  // the last pixel's red
    const Picture picture = decode(bmpFile({.width = width, .height = 1}, pixels));
    EXPECT_EQ(picture.gray[0], 0);
    EXPECT_EQ(picture.gray[width - 1], 76);  // 0.299 x 255
}

ByteVector withSize(ByteVector file, std::size_t size) {
    file.resize(size);
    return file;
}

TEST(BmpDecoder, RefusesMalformedAndUnsupportedFiles) {
    const ByteVector pixels24 = storeRows(24, false, bgr);
    const ByteVector valid24 = bmpFile({}, pixels24);
    const ByteVector valid8 =
        bmpFile({.bits = 8, .palette = paletteOf(4)}, storeRows(8, false, index));
    const Header rle{.width = 2, .height = 1, .bits = 8, .compression = 1, .palette = kRlePalette};
    struct Case {
        const char* name;
        ByteVector file;
        const char* reason;
    };
    const Case cases[] = {
        {"file header cut", withSize(valid24, 10), "truncated BMP"},
        {"info header cut", withSize(valid24, 30), "truncated BMP"},
        {"palette cut", withSize(valid8, 14 + 40 + 10), "in the palette"},
        {"last row cut", withSize(valid24, valid24.size() - 12), "ends after 1 of 2 rows"},
        {"pixel offset past the end", bmpFile({.pixelOffset = 5000}, pixels24), "after 0 of 2"},
        {"pixel offset inside the headers, rows cut",
         withSize(bmpFile({.pixelOffset = 20}, pixels24), 14 + 40 + 12), "offset 20 lies inside"},
        {"pixel offset at the palette, rows cut",
         withSize(bmpFile({.bits = 8, .colorsUsed = 6, .palette = paletteOf(4), .pixelOffset = 54},
                          storeRows(8, false, index)),
                  14 + 40 + 24 + 4),
         "offset 54 leaves no room for the palette"},
        {"RLE delta above the top", bmpFile(rle, {0, 2, 0, 1, 0, 1}), "delta"},
        {"RLE delta past the row end", bmpFile(rle, {0, 2, 3, 0, 0, 1}), "delta"},
        {"RLE data cut", bmpFile(rle, {1, 1}), "RLE data ends at row 0"},
        {"RLE stored top-down", bmpFile({.height = -1, .bits = 8, .compression = 1}, {0, 1}),
         "top-down"},
        {"bit count 7", bmpFile({.bits = 7}, pixels24), "bit count 7"},
        {"RLE8 with 4 bits", bmpFile({.bits = 4, .compression = 1}, {0, 1}), "RLE8 compression"},
        {"bit fields with 24 bits", bmpFile({.compression = 3, .masks = {1, 2, 4}}, pixels24),
         "bit field"},
        {"JPEG inside", bmpFile({.compression = 4}, pixels24), "compression 4 (JPEG)"},
        {"PNG inside", bmpFile({.compression = 5}, pixels24), "compression 5 (PNG)"},
        {"compression 9", bmpFile({.compression = 9}, pixels24), "compression 9"},
        {"OS/2 Huffman", bmpFile({.size = 64, .bits = 1, .compression = 3}, pixels24),
         "OS/2 Huffman"},
        {"header size 20", bmpFile({.size = 20}, pixels24), "header size 20"},
        {"zero width", bmpFile({.width = 0}, pixels24), "width 0"},
        {"negative width", bmpFile({.width = -3}, pixels24), "width -3"},
        {"zero height", bmpFile({.height = 0}, pixels24), "height 0"},
        {"height INT32_MIN", bmpFile({.height = INT32_MIN}, pixels24), "height -2147483648"},
        {"zero planes", bmpFile({.planes = 0}, pixels24), "0 colour planes"},
        {"palette too large", bmpFile({.bits = 8, .colorsUsed = 257}, pixels24), "palette of 257"},
        {"scattered mask",
         bmpFile({.bits = 16, .compression = 3, .masks = {0xF0F, 0xF0, 0}}, pixels24),
         "0x00000f0f is not contiguous"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            decode(c.file);
            ADD_FAILURE() << "decoded";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::DecodeError);
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(BmpDecoder, HugeDeclaredSizeIsAnOverflowBeforeAnyAllocation) {
    // The second passes as pixels but not as the 24-bit rows the rules also count.
    const struct {
        std::int32_t width, height;
        const char* reason;
    } sizes[] = {
        {100000, 100000, "picture too large: 100000 x 100000 pixels pass the 2,147,483,647-byte"},
        {30000, 24000, "picture too large: 30000 x 24000 pixels take 2160000000 bytes as 24-bit"},
    };
    for (const auto& size : sizes) {
        for (std::uint16_t bits : {1, 24}) {
            try {
                decode(bmpFile({.width = size.width, .height = size.height, .bits = bits},
                               {0, 0, 0, 0}));
                ADD_FAILURE() << "decoded";
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
                EXPECT_NE(std::string(e.what()).find(size.reason), std::string::npos) << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace folder2pdf
