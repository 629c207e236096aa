#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Error.h"
#include "image/Decoders.h"
#include "image/Gray.h"
#include "image/ImgToByte.h"

// BMP headers are designated initializers naming only the fields that differ
// from BmpHeader's defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace folder2pdf {
namespace {

using Data = std::vector<std::uint8_t>;

struct Raster {
    std::int32_t width = 0;
    std::int32_t height = 0;
    Data pixels;
};

Raster decode(const Data& file) {
    ImgToByte loader;
    GrayImage image;
    loader.loadBytes(file.data(), file.size(), image);
    return {image.Width, image.Height, Data(image.imgData.begin(), image.imgData.end())};
}

// Refused with an error of `reason` whose message holds `message`, before the
// raster was allocated.
void expectRefused(const Data& file, const char* message,
                   ErrorReason reason = ErrorReason::Damaged) {
    ImgToByte loader;
    GrayImage image;
    try {
        loader.loadBytes(file.data(), file.size(), image);
        ADD_FAILURE() << "decoded";
    } catch (const Error& e) {
        EXPECT_EQ(e.reason(), reason) << e.what();
        EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_EQ(image.imgData.capacity(), 0u) << "allocated before the refusal";
}

// ---------------------------------------------------------------------------
// BMP, from files written here.

using Header = testsupport::BmpHeader;
using testsupport::bmpFile;

// The reference picture, 3 x 2: color number y * 3 + x at (x, y), y = 0 on top.
struct Rgb {
    std::uint8_t r, g, b;
};
constexpr Rgb kColors[6] = {{255, 0, 0},     {0, 255, 0},  {0, 0, 255},
                            {255, 255, 255}, {10, 20, 30}, {0, 0, 0}};

Data referenceGray() {
    Data gray;
    for (const Rgb& c : kColors) {
        gray.push_back(grayOf(c.r, c.g, c.b));
    }
    return gray;
}

Data paletteOf(int entrySize) {
    Data p;
    for (const Rgb& c : kColors) {
        p.insert(p.end(), {c.b, c.g, c.r, 0});
        p.resize(p.size() - 4 + entrySize);
    }
    return p;
}

// The reference picture's rows as stored: bottom row first unless top-down,
// each padded to 4 bytes with junk. `value(color)` is a pixel as stored:
// packed most significant bits first below 8 bits, little-endian bytes above.
using PixelValue = std::uint32_t (*)(int color);
Data storeRows(int bits, bool topDown, PixelValue value) {
    Data data;
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
        {"24-bit OS/2 2.x short header", {.size = 16}, false, bgr},
        {"32-bit BI_RGB ignores the fourth byte", {.bits = 32}, false, bgrJunk},
        {"32-bit bit fields R,G,B,x",
         {.bits = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000}},
         false,
         rgbx},
        {"32-bit 10-10-10 bit fields in a 56-byte header",
         {.size = 56, .bits = 32, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF, 0}},
         false,
         rgb10},
        {"8-bit palette", {.bits = 8, .palette = paletteOf(4)}, false, index},
        {"4-bit palette", {.bits = 4, .colorsUsed = 6, .palette = paletteOf(4)}, false, index},
        {"pixel offset at the palette's start",
         {.bits = 8, .colorsUsed = 6, .palette = paletteOf(4), .pixelOffset = 54},
         false,
         index},
        {"pixel offset inside the headers", {.pixelOffset = 20}, false, bgr},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Data pixels = storeRows(layout.header.bits, layout.topDown, layout.value);
        const Raster picture = decode(bmpFile(layout.header, pixels));
        EXPECT_EQ(picture.width, 3);
        EXPECT_EQ(picture.height, 2);
        EXPECT_EQ(picture.pixels, referenceGray());
        if (layout.header.bits != 32) {  // some writers leave out the last row's padding
            pixels.resize(pixels.size() - 1);
            EXPECT_EQ(decode(bmpFile(layout.header, pixels)).pixels, referenceGray());
        }
    }
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

// 5 bits: 16 -> 131.6 -> 132, 1 -> 8.2 -> 8; 6 bits: 32 -> 129.5 -> 130, 1 -> 4.
TEST(BmpDecoder, BitFieldsScaleToEightBitsRoundedAndAlphaComposesOverWhite) {
    struct Case {
        const char* name;
        Header header;
        std::uint32_t pixels[3];
        Data expected;
    };
    const std::vector<std::uint32_t> masks565 = {0xF800, 0x07E0, 0x1F};
    const Data expected565 = {grayOf(255, 0, 0), grayOf(132, 130, 8), grayOf(0, 255, 0)};
    const std::uint8_t half = grayOf(overWhite(200, 128), overWhite(100, 128), overWhite(50, 128));
    const Case cases[] = {
        {"5-5-5 BI_RGB, top bit ignored",
         oneRow(40, 16, 0),
         {0x7C00, 16 << 10 | 1 << 5, 0x8000 | 0x1F},
         {grayOf(255, 0, 0), grayOf(132, 8, 0), grayOf(0, 0, 255)}},
        {"5-6-5 masks after a 40-byte header",
         oneRow(40, 16, 3, masks565),
         {0xF800, 16 << 11 | 32 << 5 | 1, 0x07E0},
         expected565},
        {"5-6-5 masks in a 52-byte header",
         oneRow(52, 16, 3, masks565),
         {0xF800, 16 << 11 | 32 << 5 | 1, 0x07E0},
         expected565},
        {"alpha bit fields after a 40-byte header: (200, 100, 50) at alpha 0, 128, 255",
         oneRow(40, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
         {0x00C86432, 0x80C86432, 0xFFC86432},
         {255, half, grayOf(200, 100, 50)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Data row;
        for (std::uint32_t pixel : c.pixels) {
            for (int i = 0; i < c.header.bits / 8; ++i) {
                row.push_back(pixel >> 8 * i & 0xFF);
            }
        }
        row.resize((row.size() + 3) / 4 * 4);
        EXPECT_EQ(decode(bmpFile(c.header, row)).pixels, c.expected);
    }
}

// RLE pictures take a palette of black, red, blue and (10, 20, 30).
Header rle(std::int32_t width, std::int32_t height, std::uint16_t bits = 8) {
    return {.width = width,
            .height = height,
            .bits = bits,
            .compression = bits == 8 ? 1u : 2u,
            .palette = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 30, 20, 10, 0}};
}

// Rows written top row first as palette indices, a space for white paper.
Data rleGray(const std::string& indices) {
    const std::uint8_t gray[4] = {0, grayOf(255, 0, 0), grayOf(0, 0, 255), grayOf(10, 20, 30)};
    Data out;
    for (char c : indices) {
        out.push_back(c == ' ' ? 255 : gray[c - '0']);
    }
    return out;
}

TEST(BmpDecoder, RleRunsDeltasAndClipping) {
    struct Case {
        const char* name;
        Header header;
        Data data;
        const char* expected;
    };
    const Case cases[] = {
        {"RLE8: run, padded absolute run, line end, delta over a row, end",
         rle(6, 3),
         {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 2, 3, 0, 1},
         "  33  "
         "      "
         "111232"},
        {"RLE4: nibbles alternate, an odd absolute run is padded",
         rle(10, 1, 4),
         {0, 5, 0x30, 0x12, 0x30, 0, 5, 0x12, 0, 1},
         "3012312121"},
        {"runs past the row end are clipped, rows above the top dropped",
         rle(2, 2),
         {3, 1, 0, 3, 2, 2, 2, 0, 0, 0, 0, 3, 3, 2, 3, 0, 0, 0, 2, 1, 0, 1},
         "3211"},
        // Data may stop without the end marker once the top row is done,
        // even where an absolute run's pad would be.
        {"data ends with the top row", rle(3, 1), {3, 1}, "111"},
        {"data ends where a pad would be", rle(3, 1), {0, 3, 1, 2, 3}, "123"},
        {"a delta moves to x = width", rle(3, 1), {1, 1, 0, 2, 2, 0, 0, 1}, "1  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(bmpFile(c.header, c.data)).pixels, rleGray(c.expected));
    }
}

Data withSize(Data file, std::size_t size) {
    file.resize(size);
    return file;
}

TEST(BmpDecoder, RefusesBrokenFilesBeforeAllocating) {
    const Data pixels24 = storeRows(24, false, bgr);
    const Data valid24 = bmpFile({}, pixels24);
    struct Case {
        const char* name;
        Data file;
        const char* message;
        ErrorReason reason = ErrorReason::Damaged;
    };
    const Case cases[] = {
        {"last row cut", withSize(valid24, valid24.size() - 12), "ends after 1 of 2 rows"},
        {"pixel offset inside the headers, rows cut",
         withSize(bmpFile({.pixelOffset = 20}, pixels24), 14 + 40 + 12), "offset 20 lies inside"},
        {"height INT32_MIN", bmpFile({.height = INT32_MIN}, pixels24), "height -2147483648"},
        {"bit count 7", bmpFile({.bits = 7}, pixels24), "bit count 7"},
        {"palette too large", bmpFile({.bits = 8, .colorsUsed = 257}, pixels24), "palette of 257"},
        {"scattered mask",
         bmpFile({.bits = 16, .compression = 3, .masks = {0xF0F, 0xF0, 0}}, pixels24),
         "0x00000f0f is not contiguous"},
        {"JPEG inside", bmpFile({.compression = 4}, pixels24), "compression 4 (JPEG)"},
        {"RLE delta above the top", bmpFile(rle(2, 1), {0, 2, 0, 1, 0, 1}), "delta"},
        {"RLE data cut", bmpFile(rle(2, 1), {1, 1}), "RLE data ends at row 0"},
        // Within 2 GiB as gray pixels, though not as 24-bit rows, which no
        // gray picture needs: only the missing rows refuse it.
        {"30000 x 24000", bmpFile({.width = 30000, .height = 24000, .bits = 1}, {0, 0, 0, 0}),
         "leaves no room for the palette", ErrorReason::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefused(c.file, c.message, c.reason);
    }
}

// Heavy (about 4.5 GB of memory): run by hand under the sanitizers with
// --gtest_also_run_disabled_tests. A 24-bit row of 540 million pixels takes
// byte offsets past 2^31 in the row conversions, which computed 4 x pixel
// in 32 bits.
TEST(BmpDecoder, DISABLED_RowOfOver536MillionPixelsConvertsWithoutOverflow) {
    const std::int32_t width = 540000000;
    Data pixels((3 * std::size_t{width} + 3) / 4 * 4, 0);
    pixels[3 * std::size_t{width - 1} + 2] = 255;  // the last pixel's red
    const Raster picture = decode(bmpFile({.width = width, .height = 1}, pixels));
    EXPECT_EQ(picture.pixels[0], 0);
    EXPECT_EQ(picture.pixels[width - 1], 76);  // 0.299 x 255
}

// ---------------------------------------------------------------------------
// Every sample of tools/make-test-pictures.py and tools/make-bmp-samples.sh
// decodes to the raster written beside it.

Data readData(const std::string& name) {
    const std::string bytes = testsupport::readFile(testsupport::dataFile(name));
    return Data(bytes.begin(), bytes.end());
}

// The expected rasters are binary PGM files ("P5 w h 255\n" then the bytes).
Raster readPgm(const std::string& name) {
    const std::string text = testsupport::readFile(testsupport::dataFile(name));
    Raster raster;
    int maxValue = 0;
    int headerEnd = 0;
    if (std::sscanf(text.c_str(), "P5 %d %d %d%n", &raster.width, &raster.height, &maxValue,
                    &headerEnd) != 3) {
        throw std::runtime_error(name + " is not a PGM file");
    }
    raster.pixels.assign(text.begin() + headerEnd + 1, text.end());
    return raster;
}

void expectSameRaster(const Raster& actual, const Raster& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    const auto [a, e] = std::mismatch(actual.pixels.begin(), actual.pixels.end(),
                                      expected.pixels.begin(), expected.pixels.end());
    EXPECT_TRUE(a == actual.pixels.end() && e == expected.pixels.end())
        << "pixel " << a - actual.pixels.begin() << " differs";
}

std::vector<std::string> samplesIn(const std::string& format) {
    std::vector<std::string> samples;
    for (const std::string& name : testsupport::listFolder(testsupport::dataFile(format))) {
        if (name.substr(name.rfind('.')) != ".pgm") {
            samples.push_back(format + "/" + name);
        }
    }
    return samples;
}

class Samples : public testing::TestWithParam<std::string> {};

TEST_P(Samples, DecodeToTheExpectedRaster) {
    const std::string& name = GetParam();
    expectSameRaster(decode(readData(name)), readPgm(name.substr(0, name.rfind('.')) + ".pgm"));
}

std::string sampleName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(info.param.find('/') + 1);
    name = name.substr(0, name.rfind('.'));
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Jpeg, Samples, testing::ValuesIn(samplesIn("jpeg")), sampleName);
INSTANTIATE_TEST_SUITE_P(Png, Samples, testing::ValuesIn(samplesIn("png")), sampleName);
INSTANTIATE_TEST_SUITE_P(Gif, Samples, testing::ValuesIn(samplesIn("gif")), sampleName);
INSTANTIATE_TEST_SUITE_P(Bmp, Samples, testing::ValuesIn(samplesIn("bmp")), sampleName);

// ---------------------------------------------------------------------------
// GIF, JPEG and PNG behaviours the samples don't show.

// One black pixel whose index, 0, is transparent; byte 22 holds the
// transparency flag, byte 28 the frame's left edge.
TEST(GifDecoder, TransparentIndexZeroAndFramesOffTheScreenShowWhitePaper) {
    const std::string bytes(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00"
        "\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
        43);
    Data gif(bytes.begin(), bytes.end());
    EXPECT_EQ(decode(gif).pixels, Data{255});
    gif[22] = 0;
    EXPECT_EQ(decode(gif).pixels, Data{0});
    gif[28] = 5;
    EXPECT_EQ(decode(gif).pixels, Data{255});
}

// The progressive sample with its first scan (DC coefficients, which decode
// alike whatever came before) repeated until the file has `scans` scans.
Data withScans(const Data& progressive, int scans) {
    int count = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i + 1 < progressive.size(); ++i) {
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA && count++ == 0) {
            first = i;
        }
    }
    // The scan's data runs to the next marker other than a stuffed 0xFF or a restart.
    std::size_t end = first + 2 + (progressive[first + 2] << 8 | progressive[first + 3]);
    while (!(progressive[end] == 0xFF && progressive[end + 1] != 0 &&
             (progressive[end + 1] & 0xF8) != 0xD0)) {
        ++end;
    }
    Data data(progressive.begin(), progressive.end() - 2);  // without EOI
    for (; count < scans; ++count) {
        data.insert(data.end(), progressive.begin() + static_cast<std::ptrdiff_t>(first),
                    progressive.begin() + static_cast<std::ptrdiff_t>(end));
    }
    data.insert(data.end(), {0xFF, 0xD9});
    return data;
}

TEST(JpegDecoder, FiveHundredScansAreTheLimit) {
    const Data progressive = readData("jpeg/gray-progressive.jpg");
    EXPECT_EQ(decode(withScans(progressive, 500)).width, 37);
    EXPECT_THROW(decode(withScans(progressive, 501)), Error);
}

TEST(JpegDecoder, JunkBetweenSegmentsIsTolerated) {
    Data data = readData("jpeg/baseline-420.jpg");
    const Data tables = {0xFF, 0xDB};
    data.insert(std::search(data.begin(), data.end(), tables.begin(), tables.end()),
                {0x00, 0x12, 0x34});
    expectSameRaster(decode(data), readPgm("jpeg/baseline-420.pgm"));
}

// The sample's EXIF block is the first segment: its length at byte 4, the
// big-endian TIFF header at 12 and its one entry at 22 (type at 24, count at
// 26, value at 30); the segment ends at 38.
TEST(JpegDecoder, UnreadableOrientationLeavesThePictureAsStored) {
    const Data tagged = readData("jpeg/orientation-6.jpg");
    Data upright = tagged;
    upright[31] = 1;
    const Raster stored = decode(upright);
    ASSERT_EQ(stored.width, 32);
    void (*const damages[])(Data&) = {
        [](Data& d) { d[25] = 4; },  // of type LONG
        [](Data& d) { d[29] = 2; },  // of two values
        [](Data& d) {                // the block cut inside the entry
            d.erase(d.begin() + 30, d.begin() + 38);
            d[5] = 34 - 8;
        },
    };
    for (const auto damage : damages) {
        Data data = tagged;
        damage(data);
        expectSameRaster(decode(data), stored);
    }
}

// EXIF orientations on a picture of 19 x 14 (whole 8 x 8 blocks and the
// edges around them): upright pixel (x, y) comes from the stored picture
// transposed for 5 to 8, then mirrored left to right (2, 3, 7, 8) and top to
// bottom (3, 4, 6, 7).
TEST(Orientation, EachTurnsTheStoredPictureUpright) {
    const int W = 19, H = 14;
    Bytes scratch;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        Bytes pixels;
        GrayRaster raster(pixels, &scratch);
        raster.begin(W, H);
        for (int i = 0; i < W * H; ++i) {
            pixels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        }
        raster.orient(orientation);
        const bool turned = orientation >= 5;
        const bool mirrorX = orientation == 2 || orientation == 3 || orientation >= 7;
        const bool mirrorY =
            orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
        ASSERT_EQ(raster.width(), turned ? H : W);
        ASSERT_EQ(raster.height(), turned ? W : H);
        for (int y = 0; y < raster.height(); ++y) {
            for (int x = 0; x < raster.width(); ++x) {
                const int u = turned ? y : x, v = turned ? x : y;
                const int sx = mirrorX ? W - 1 - u : u, sy = mirrorY ? H - 1 - v : v;
                ASSERT_EQ(raster.row(y)[x], static_cast<std::uint8_t>(sy * W + sx))
                    << x << "," << y;
            }
        }
    }
}

void appendBigEndian(Data& data, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        data.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    }
}

void appendChunk(Data& png, const char* type, const Data& content) {
    appendBigEndian(png, static_cast<std::uint32_t>(content.size()), 4);
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), content.begin(), content.end());
    appendBigEndian(png, crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)), 4);
}

// An 8-bit gray PNG whose IDAT holds `raw` compressed at zlib's best.
Data grayPng(std::uint32_t width, std::uint32_t height, const Data& raw) {
    Data png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Data header;
    appendBigEndian(header, width, 4);
    appendBigEndian(header, height, 4);
    header.insert(header.end(), {8, 0, 0, 0, 0});
    appendChunk(png, "IHDR", header);
    Data zipped(compressBound(raw.size()));
    uLongf length = zipped.size();
    EXPECT_EQ(compress2(zipped.data(), &length, raw.data(), raw.size(), 9), Z_OK);
    zipped.resize(length);
    appendChunk(png, "IDAT", zipped);
    appendChunk(png, "IEND", {});
    return png;
}

// The size bound allows for deflate's best ratio; libpng's own cap on the
// height (a million rows) is lifted.
TEST(PngDecoder, LargePicturesOfLittleDataDecode) {
    for (const auto& [width, height] : {std::pair{3000u, 3000u}, {1u, 1000001u}}) {
        const Data raw((width + 1) * height, 0);  // a filter byte and a black row, each row
        const Data png = grayPng(width, height, raw);
        EXPECT_GT(raw.size() / png.size(), width > 1 ? 1000u : 0u) << "zlib's best ratio";
        EXPECT_EQ(decode(png).pixels.size(), std::size_t{width} * height);
    }
}

// A progressive JPEG's header up to its first scan: three components of
// `sampling`, all in the scan.
Data progressiveJpegHeader(std::uint8_t sampling, std::uint16_t width, std::uint16_t height) {
    Data data = {0xFF, 0xD8, 0xFF, 0xC2, 0x00, 0x11, 0x08};
    appendBigEndian(data, height, 2);
    appendBigEndian(data, width, 2);
    data.insert(data.end(),
                {0x03, 0x01, sampling, 0x00, 0x02, sampling, 0x00, 0x03, sampling, 0x00});
    data.insert(data.end(), {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
    return data;
}

TEST(Loader, RefusesWhatItCannotHoldBeforeAllocating) {
    expectRefused({}, "the file is empty");
    // 20000 x 20000 needs 400 MB of rows; 1032 x what the file has left is
    // far less.
    expectRefused(grayPng(20000, 20000, Data(100, 0)),
                  "truncated PNG: 20000 x 20000 pixels need over");
    // libjpeg rounds each component's blocks up to whole MCUs: 2363 x 2365
    // blocks become 2364 x 2366, which passes 2^31 bytes only then.
    expectRefused(progressiveJpegHeader(0x22, 18904, 18920),
                  "needs 2147798016 bytes of coefficients", ErrorReason::TooLarge);
}

}  // namespace
}  // namespace folder2pdf
