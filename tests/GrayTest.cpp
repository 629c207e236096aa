#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/Gray.h"
#include "image/GrayRaster.h"

namespace folder2pdf {
namespace {

TEST(GrayRule, PrimariesAndExactHalves) {
    const struct {
        std::uint8_t r, g, b, gray;
    } cases[] = {
        {255, 0, 0, 76},  {0, 255, 0, 150},
        {0, 0, 255, 29},  {1, 13, 5, 8},  // sums to exactly 8.5: goes to the even 8
        {0, 12, 4, 8},                    // 7.5 goes to 8
        {0, 0, 250, 28},                  // 28.5 goes to 28
        {0, 80, 110, 59},  // the double sum lies just below 59.5; exact rationals would say 60
    };
    for (const auto& c : cases) {
        EXPECT_EQ(grayOf(c.r, c.g, c.b), c.gray) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    }
}

// The row conversion takes an integer shortcut; it must agree with the
// double rule on every one of the 2^24 colours, whatever the fourth byte of
// a pixel holds and wherever a pixel falls in a row (vector body or
// scalar tail).
TEST(GrayRule, FastRowConversionMatchesTheRuleForEveryColour) {
    constexpr std::uint32_t rowLength = 259;  // not a multiple of any vector width
    std::vector<std::uint8_t> rgbx(rowLength * 4);
    std::vector<std::uint8_t> gray(rowLength);
    std::size_t mismatches = 0;
    for (std::uint32_t first = 0; first < (1u << 24); first += rowLength) {
        const std::uint32_t count = std::min(rowLength, (1u << 24) - first);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t colour = first + i;
            rgbx[4 * i] = static_cast<std::uint8_t>(colour >> 16);
            rgbx[4 * i + 1] = static_cast<std::uint8_t>(colour >> 8);
            rgbx[4 * i + 2] = static_cast<std::uint8_t>(colour);
            rgbx[4 * i + 3] = static_cast<std::uint8_t>(colour * 37);
        }
        rgbxRowToGray(rgbx.data(), gray.data(), static_cast<std::int32_t>(count));
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t colour = first + i;
            mismatches += gray[i] != grayOf(colour >> 16, colour >> 8 & 0xFF, colour & 0xFF);
        }
    }
    EXPECT_EQ(mismatches, 0u);
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

}  // namespace
}  // namespace folder2pdf
