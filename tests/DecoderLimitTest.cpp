// Limits that the decoders check before allocating: declared sizes against
// the loader's 32-bit rules and against the bytes actually present, where
// the format allows the comparison. Small inputs written inline.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

using folder2pdf::Bytes;
using folder2pdf::Error;
using folder2pdf::ErrorKind;
using folder2pdf::GrayRaster;
using Data = std::vector<std::uint8_t>;

namespace {

void putBigEndian(Data& data, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void putLittleEndian(Data& data, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// Decodes expecting a refusal of `kind` whose message holds `reason`, with
// nothing allocated for the picture.
void expectRefusedBeforeAllocation(const Data& data, ErrorKind kind, const std::string& reason) {
    Bytes pixels;
    GrayRaster out(pixels);
    try {
        folder2pdf::decodePicture(data.data(), data.size(), out);
        ADD_FAILURE() << "decoded";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
        EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
    EXPECT_EQ(pixels.capacity(), 0u) << "allocated before the size was checked";
}

// A JPEG header up to its first scan: `sof` (0xC0 baseline, 0xC2
// progressive), three components without subsampling, all in the scan.
Data jpegHeader(std::uint8_t sof, std::uint16_t width, std::uint16_t height) {
    Data data = {0xFF, 0xD8, 0xFF, sof, 0x00, 0x11, 0x08};
    putBigEndian(data, height, 2);
    putBigEndian(data, width, 2);
    data.insert(data.end(), {0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00});
    data.insert(data.end(), {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
    return data;
}

// 30000 x 15000 passes the loader's rules (450 million pixels), but its
// coefficients take 3 x 3750 x 1875 blocks of 128 bytes: 2.7 GB.
TEST(JpegLimit, ProgressivePictureWhoseCoefficientsPass2GiBIsAnOverflow) {
    expectRefusedBeforeAllocation(jpegHeader(0xC2, 30000, 15000), ErrorKind::Overflow,
                                  "needs 2700000000 bytes of coefficients");
}

TEST(JpegLimit, ProgressivePictureUnderTheLimitGoesOnToItsScans) {
    // 2.7 GB / 4 of coefficients: allowed; the missing tables stop it.
    Bytes pixels;
    GrayRaster out(pixels);
    const Data data = jpegHeader(0xC2, 15000, 7500);
    try {
        folder2pdf::decodeJpeg(data.data(), data.size(), out);
        ADD_FAILURE() << "decoded";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::DecodeError) << error.what();
    }
    EXPECT_GT(pixels.capacity(), 0u) << "refused before the raster";
}

void putChunk(Data& png, const char* type, const Data& content) {
    putBigEndian(png, static_cast<std::uint32_t>(content.size()), 4);
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), content.begin(), content.end());
    const uLong crc = crc32(0, png.data() + start, static_cast<uInt>(png.size() - start));
    putBigEndian(png, static_cast<std::uint32_t>(crc), 4);
}

// An 8-bit gray PNG whose IDAT holds `raw` compressed at zlib's best.
Data grayPng(std::uint32_t width, std::uint32_t height, const Data& raw) {
    Data png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Data header;
    putBigEndian(header, width, 4);
    putBigEndian(header, height, 4);
    header.insert(header.end(), {8, 0, 0, 0, 0});
    putChunk(png, "IHDR", header);
    Data zipped(compressBound(raw.size()));
    uLongf length = zipped.size();
    EXPECT_EQ(compress2(zipped.data(), &length, raw.data(), raw.size(), 9), Z_OK);
    zipped.resize(length);
    putChunk(png, "IDAT", zipped);
    putChunk(png, "IEND", {});
    return png;
}

TEST(PngLimit, PictureTheDataCannotHoldIsRefusedBeforeAllocation) {
    // 20000 x 20000 needs 400 MB of rows; 1032 x what the file has left is
    // far less.
    expectRefusedBeforeAllocation(grayPng(20000, 20000, Data(100, 0)), ErrorKind::DecodeError,
                                  "truncated PNG: 20000 x 20000 pixels need over");
}

TEST(PngLimit, PictureAtDeflatesBestRatioStillDecodes) {
    const std::uint32_t side = 3000;
    const Data raw((side + 1) * side, 0);  // a filter byte and a black row, each row
    const Data png = grayPng(side, side, raw);
    ASSERT_GT(raw.size() / png.size(), 1000u) << "zlib's ratio is what the bound allows for";
    Bytes pixels;
    GrayRaster out(pixels);
    folder2pdf::decodePng(png.data(), png.size(), out);
    EXPECT_EQ(pixels.size(), std::size_t{side} * side);
}

// An RLE8 BMP is allowed to leave pixels out, and they are white paper: a
// file of a few dozen bytes can declare a large, valid, white picture. It is
// accepted: its one allocation is the raster, within the loader's rules.
TEST(BmpLimit, TinyRleFileMayDeclareALargeWhitePicture) {
    const std::int32_t side = 4000;
    Data bmp = {'B', 'M'};
    putLittleEndian(bmp, 14 + 40 + 8 + 2, 4);
    putLittleEndian(bmp, 0, 4);
    putLittleEndian(bmp, 14 + 40 + 8, 4);  // two palette entries
    for (std::uint32_t value : {40u, std::uint32_t(side), std::uint32_t(side)}) {
        putLittleEndian(bmp, value, 4);
    }
    putLittleEndian(bmp, 1, 2);
    putLittleEndian(bmp, 8, 2);
    for (std::uint32_t value : {1u, 2u, 0u, 0u, 2u, 0u}) {
        putLittleEndian(bmp, value, 4);
    }
    bmp.insert(bmp.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    bmp.insert(bmp.end(), {0, 1});  // end of bitmap at once
    ASSERT_EQ(bmp.size(), 64u);
    Bytes pixels;
    GrayRaster out(pixels);
    folder2pdf::decodeBmp(bmp.data(), bmp.size(), out);
    ASSERT_EQ(pixels.size(), std::size_t(side) * side);
    EXPECT_EQ(pixels.front(), 255);
    EXPECT_EQ(pixels.back(), 255);
}

// Heavy (about 4.5 GB of memory): run by hand under the sanitizers with
// --gtest_also_run_disabled_tests. A 24-bit row of 540 million pixels takes
// byte offsets past 2^31 in the row conversions, which computed 4 x pixel
// in 32 bits.
TEST(BmpLimit, DISABLED_RowOfOver536MillionPixelsConvertsWithoutOverflow) {
    const std::uint32_t width = 540000000;
    const std::uint32_t rowBytes = (3 * width + 3) / 4 * 4;
    Data bmp = {'B', 'M'};
    putLittleEndian(bmp, 54 + rowBytes, 4);
    putLittleEndian(bmp, 0, 4);
    putLittleEndian(bmp, 54, 4);
    for (std::uint32_t value : {40u, width, 1u}) {
        putLittleEndian(bmp, value, 4);
    }
    putLittleEndian(bmp, 1, 2);
    putLittleEndian(bmp, 24, 2);
    for (std::uint32_t value : {0u, rowBytes, 0u, 0u, 0u, 0u}) {
        putLittleEndian(bmp, value, 4);
    }
    bmp.resize(54 + std::size_t{rowBytes}, 0);
    bmp[54 + 3 * std::size_t{width - 1} + 2] = 255;  // the last pixel's red
    Bytes pixels;
    GrayRaster out(pixels);
    folder2pdf::decodeBmp(bmp.data(), bmp.size(), out);
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[width - 1], 76);  // 0.299 x 255
}

}  // namespace
