#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Error.h"
#include "image/Decoders.h"

using folder2pdf::Bytes;
using folder2pdf::Error;
using folder2pdf::ErrorKind;
using folder2pdf::GrayRaster;

namespace {

using Data = std::vector<std::uint8_t>;

Data readData(const std::string& name) {
    const std::string bytes = testsupport::readFile(testsupport::dataFile(name));
    return Data(bytes.begin(), bytes.end());
}

struct Raster {
    std::int32_t width = 0;
    std::int32_t height = 0;
    Data pixels;
};

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

Raster decode(const Data& data) {
    Bytes pixels;
    GrayRaster out(pixels);
    folder2pdf::decodePicture(data.data(), data.size(), out);
    return {out.width(), out.height(), Data(pixels.begin(), pixels.end())};
}

void expectSameRaster(const Raster& actual, const Raster& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
    int differences = 0;
    for (std::size_t i = 0; i < expected.pixels.size(); ++i) {
        if (actual.pixels[i] != expected.pixels[i] && ++differences <= 3) {
            ADD_FAILURE() << "pixel (" << i % expected.width << ", " << i / expected.width
                          << "): " << int{actual.pixels[i]} << " instead of "
                          << int{expected.pixels[i]};
        }
    }
    EXPECT_EQ(differences, 0);
}

// ---------------------------------------------------------------------------
// Every sample of tools/make-test-pictures.py (and tools/make-bmp-samples.sh)
// decodes to the raster written beside it. A picture without one fails here,
// unless another test below uses it.

std::vector<std::string> samplesIn(const std::string& format) {
    const std::vector<std::string> others = {"gray-16-all-values.png", "bad-lzw.gif",
                                             "no-colour-table.gif"};
    std::vector<std::string> samples;
    for (const std::string& name : testsupport::listFolder(testsupport::dataFile(format))) {
        if (name.substr(name.rfind('.')) != ".pgm" &&
            std::find(others.begin(), others.end(), name) == others.end()) {
            samples.push_back(format + "/" + name);
        }
    }
    return samples;
}

class Samples : public testing::TestWithParam<std::string> {};

TEST_P(Samples, DecodeToTheExpectedRaster) {
    const std::string& name = GetParam();
    const std::string stem = name.substr(0, name.rfind('.'));
    expectSameRaster(decode(readData(name)), readPgm(stem + ".pgm"));
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
// Particular behaviours.

std::size_t find(const Data& data, const std::string& text) {
    const Data pattern(text.begin(), text.end());
    const auto at = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
    if (at == data.end()) {
        throw std::runtime_error("no " + text + " in the sample");
    }
    return static_cast<std::size_t>(at - data.begin());
}

TEST(PngDecoder, SixteenBitSamplesRoundToNearestEightBitValue) {
    // The sample holds every 16-bit value once, v = 256 y + x.
    const Raster raster = decode(readData("png/gray-16-all-values.png"));
    ASSERT_EQ(raster.pixels.size(), 65536u);
    for (std::uint32_t v = 0; v < 65536; ++v) {
        const std::uint32_t rounded = (v * 510 + 65535) / 131070;  // floor(v * 255 / 65535 + 1/2)
        ASSERT_EQ(raster.pixels[v], rounded) << "16-bit value " << v;
    }
}

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
    const auto at = [&](std::size_t i) {
        return progressive.begin() + static_cast<std::ptrdiff_t>(i);
    };
    Data data(progressive.begin(), progressive.end() - 2);  // without EOI
    for (; count < scans; ++count) {
        data.insert(data.end(), at(first), at(end));
    }
    data.insert(data.end(), {0xFF, 0xD9});
    return data;
}

TEST(JpegDecoder, FiveHundredScansAreTheLimit) {
    const Data progressive = readData("jpeg/gray-progressive.jpg");
    EXPECT_EQ(decode(withScans(progressive, 500)).width, 37);
    try {
        decode(withScans(progressive, 501));
        ADD_FAILURE() << "501 scans decoded";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::DecodeError);
        EXPECT_STREQ(error.what(), "JPEG: too many scans (more than 500)");
    }
}

TEST(JpegDecoder, JunkBetweenSegmentsIsTolerated) {
    Data data = readData("jpeg/baseline-420.jpg");
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(find(data, "\xFF\xDB")),
                {0x00, 0x12, 0x34});  // before the quantisation tables
    expectSameRaster(decode(data), readPgm("jpeg/baseline-420.pgm"));
}

void putBigEndian(Data& data, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        data[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
    }
}

// The sample's EXIF block is the first segment: its length at byte 4, the
// big-endian TIFF header at 12 (directory offset at 16), the entry count at
// 20 and the one entry at 22 (type at 24, count at 26, value at 30); the
// segment ends at 38. Any of these lying leaves the picture as stored.
TEST(JpegDecoder, UnreadableOrientationLeavesThePictureAsStored) {
    const Data tagged = readData("jpeg/orientation-6.jpg");
    Data upright = tagged;
    putBigEndian(upright, 30, 1, 2);
    const Raster stored = decode(upright);
    ASSERT_EQ(stored.width, 32);
    struct Case {
        const char* what;
        std::function<void(Data&)> damage;
    };
    const Case cases[] = {
        {"value 9", [](Data& d) { putBigEndian(d, 30, 9, 2); }},
        {"value 0", [](Data& d) { putBigEndian(d, 30, 0, 2); }},
        {"type LONG", [](Data& d) { putBigEndian(d, 24, 4, 2); }},
        {"two values", [](Data& d) { putBigEndian(d, 26, 2, 4); }},
        {"no byte order", [](Data& d) { d[12] = 'X'; }},
        {"directory past the block", [](Data& d) { putBigEndian(d, 16, 1000, 4); }},
        {"entries past the block",
         [](Data& d) {
             putBigEndian(d, 20, 2, 2);
             putBigEndian(d, 22, 0x010F, 2);
         }},
        {"block cut inside the entry",
         [](Data& d) {
             d.erase(d.begin() + 30, d.begin() + 38);
             putBigEndian(d, 4, 34 - 8, 2);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Data data = tagged;
        c.damage(data);
        expectSameRaster(decode(data), stored);
    }
}

// ---------------------------------------------------------------------------
// Broken and oversized files are refused whole.

// Recomputes the CRC of the PNG chunk whose type starts at `type`.
void fixCrc(Data& data, std::size_t type) {
    const std::size_t length = (std::size_t{data[type - 4]} << 24) |
                               (std::size_t{data[type - 3]} << 16) |
                               (std::size_t{data[type - 2]} << 8) | data[type - 1];
    const uLong crc = crc32(0, data.data() + type, static_cast<uInt>(length + 4));
    putBigEndian(data, type + 4 + length, static_cast<std::uint32_t>(crc), 4);
}

void appendBigEndian(Data& data, std::uint32_t value, int bytes) {
    data.resize(data.size() + static_cast<std::size_t>(bytes));
    putBigEndian(data, data.size() - static_cast<std::size_t>(bytes), value, bytes);
}

// A JPEG header up to its first scan: `sof` (0xC0 baseline, 0xC2
// progressive), three components of `sampling`, all in the scan.
Data jpegHeader(std::uint8_t sof, std::uint8_t sampling, std::uint16_t width,
                std::uint16_t height) {
    Data data = {0xFF, 0xD8, 0xFF, sof, 0x00, 0x11, 0x08};
    appendBigEndian(data, height, 2);
    appendBigEndian(data, width, 2);
    data.insert(data.end(),
                {0x03, 0x01, sampling, 0x00, 0x02, sampling, 0x00, 0x03, sampling, 0x00});
    data.insert(data.end(), {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
    return data;
}

void appendChunk(Data& png, const char* type, const Data& content) {
    appendBigEndian(png, static_cast<std::uint32_t>(content.size()), 4);
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), content.begin(), content.end());
    png.resize(png.size() + 4);
    fixCrc(png, png.size() - 8 - content.size());
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

// A broken sample, or (without a sample) a file made whole by `damage`.
struct Broken {
    const char* what;
    const char* sample;
    std::function<void(Data&)> damage;
    ErrorKind kind;
    const char* reason;  // a part of the message
};

class BrokenFiles : public testing::TestWithParam<Broken> {};

TEST_P(BrokenFiles, AreRefused) {
    const Broken& broken = GetParam();
    Data data = *broken.sample ? readData(broken.sample) : Data();
    broken.damage(data);
    Bytes pixels;
    GrayRaster out(pixels);
    try {
        folder2pdf::decodePicture(data.data(), data.size(), out);
        ADD_FAILURE() << broken.what << " decoded";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), broken.kind) << error.what();
        EXPECT_NE(std::string(error.what()).find(broken.reason), std::string::npos) << error.what();
    }
    if (broken.kind == ErrorKind::Overflow ||
        std::string(broken.reason).find("need over") != std::string::npos) {
        EXPECT_EQ(pixels.capacity(), 0u) << "allocated before the size was checked";
    }
}

void cutTo(Data& data, std::size_t size) {
    data.resize(size);
}

const Broken brokenFiles[] = {
    {"JpegCutInItsScan", "jpeg/baseline-420.jpg", [](Data& d) { cutTo(d, d.size() / 2); },
     ErrorKind::DecodeError, "premature end of JPEG file"},
    {"ProgressiveJpegCutInItsScans", "jpeg/progressive-420.jpg",
     [](Data& d) { cutTo(d, d.size() * 2 / 3); }, ErrorKind::DecodeError, "premature end"},
    {"JpegWithAMarkerInItsScan", "jpeg/baseline-444.jpg",
     [](Data& d) { putBigEndian(d, d.size() / 2, 0xFFD3, 2); }, ErrorKind::DecodeError,
     "corrupt JPEG data"},
    {"JpegOfHeaderOnly", "jpeg/gray.jpg", [](Data& d) { cutTo(d, find(d, "\xFF\xC0")); },
     ErrorKind::DecodeError, "JPEG"},
    {"JpegOf65000x65000", "jpeg/baseline-420.jpg",
     [](Data& d) {
         const std::size_t sof = find(d, "\xFF\xC0");
         putBigEndian(d, sof + 5, 65000, 2);
         putBigEndian(d, sof + 7, 65000, 2);
     },
     ErrorKind::Overflow, "picture too large: 65000 x 65000 pixels pass the 2,147,483,647-byte"},
    // 30000 x 15000 passes the loader's rules (450 million pixels), but its
    // coefficients take 3 x 3750 x 1875 blocks of 128 bytes: 2.7 GB.
    {"ProgressiveJpegWhoseCoefficientsPass2GiB", "",
     [](Data& d) { d = jpegHeader(0xC2, 0x11, 30000, 15000); }, ErrorKind::Overflow,
     "needs 2700000000 bytes of coefficients"},
    // libjpeg rounds each component's blocks up to whole MCUs: 2363 x 2365
    // blocks become 2364 x 2366, which passes 2^31 bytes only then.
    {"ProgressiveJpegCountedInWholeMcus", "",
     [](Data& d) { d = jpegHeader(0xC2, 0x22, 18904, 18920); }, ErrorKind::Overflow,
     "needs 2147798016 bytes of coefficients"},
    // 20000 x 20000 needs 400 MB of rows; 1032 x what the file has left is
    // far less.
    {"PngTheDataCannotHold", "", [](Data& d) { d = grayPng(20000, 20000, Data(100, 0)); },
     ErrorKind::DecodeError, "truncated PNG: 20000 x 20000 pixels need over"},
    {"PngCutInItsPixels", "png/rgb-8.png", [](Data& d) { cutTo(d, find(d, "IDAT") + 40); },
     ErrorKind::DecodeError, "premature end of PNG data"},
    {"PngWithoutEnd", "png/gray-8.png", [](Data& d) { cutTo(d, find(d, "IEND") - 4); },
     ErrorKind::DecodeError, "premature end of PNG data"},
    {"PngWithBadPixelCrc", "png/rgb-8.png",
     [](Data& d) { d[find(d, "IEND") - 5] ^= 1; },  // the last byte of the IDAT's CRC
     ErrorKind::DecodeError, "IDAT: CRC error"},
    {"PngWithBadTextCrc", "png/ancillary-chunks.png", [](Data& d) { d[find(d, "tEXt") + 6] ^= 1; },
     ErrorKind::DecodeError, "tEXt: CRC error"},
    {"PngWithBadCompressedData", "png/rgb-8.png",
     [](Data& d) {
         const std::size_t idat = find(d, "IDAT");
         d[idat + 30] ^= 0xFF;
         fixCrc(d, idat);
     },
     ErrorKind::DecodeError, "PNG"},
    {"PngOfTwoMillionColumns", "png/gray-8.png",
     [](Data& d) {
         putBigEndian(d, 16, 2000000, 4);
         fixCrc(d, 12);
     },
     ErrorKind::DecodeError, "IHDR"},
    {"PngOf100000x100000", "png/gray-8.png",
     [](Data& d) {
         putBigEndian(d, 16, 100000, 4);
         putBigEndian(d, 20, 100000, 4);
         fixCrc(d, 12);
     },
     ErrorKind::Overflow, "picture too large: 100000 x 100000 pixels pass"},
    {"GifCutInItsPixels", "gif/global-table.gif", [](Data& d) { cutTo(d, d.size() - 200); },
     ErrorKind::DecodeError, "premature end of GIF data"},
    {"GifWithBadLzwCode", "gif/bad-lzw.gif", [](Data&) {}, ErrorKind::DecodeError, "GIF"},
    {"GifWithoutColourTable", "gif/no-colour-table.gif", [](Data&) {}, ErrorKind::DecodeError,
     "no colour table"},
    {"GifWithoutImage", "gif/global-table.gif",
     [](Data& d) {
         cutTo(d, 13 + 3 * 256);  // header, screen and colour table only
         d.push_back(0x3B);
     },
     ErrorKind::DecodeError, "no image"},
    {"GifOfEmptyScreen", "gif/global-table.gif", [](Data& d) { d[6] = d[7] = 0; },
     ErrorKind::DecodeError, "no pixels"},
    {"GifOf65535x65535", "gif/global-table.gif", [](Data& d) { d[6] = d[7] = d[8] = d[9] = 0xFF; },
     ErrorKind::Overflow, "picture too large: 65535 x 65535 pixels pass"},
};

INSTANTIATE_TEST_SUITE_P(Codecs, BrokenFiles, testing::ValuesIn(brokenFiles),
                         [](const testing::TestParamInfo<Broken>& info) {
                             return std::string(info.param.what);
                         });

}  // namespace
