#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "image/Gray.h"
#include "image/GrayRaster.h"

using folder2pdf::grayOf;
using folder2pdf::rgbxRowToGray;

namespace {

struct Case {
    std::uint8_t r, g, b, gray;
};

TEST(GrayRule, PrimariesAndExactHalves) {
    const Case cases[] = {
        {255, 0, 0, 76},  {0, 255, 0, 150}, {0, 0, 255, 29}, {255, 255, 255, 255},
        {0, 0, 0, 0},     {1, 13, 5, 8},  // sums to exactly 8.5: goes to the even 8
        {0, 12, 4, 8},                    // 7.5 goes to 8
        {0, 0, 250, 28},                  // 28.5 goes to 28
        {0, 80, 110, 59},  // the double sum lies just below 59.5; exact rationals would say 60
    };
    for (const Case& c : cases) {
        EXPECT_EQ(grayOf(c.r, c.g, c.b), c.gray) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    }
}

TEST(GrayRule, EveryGrayKeepsItsLevel) {
    for (int v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        EXPECT_EQ(grayOf(level, level, level), level);
    }
}

// The row conversion takes an integer shortcut; it must agree with the
// double rule on every one of the 2^24 colours, whatever the fourth byte of
// a pixel holds and wherever a pixel falls in a row (vector body or
// scalar tail).
TEST(GrayRule, FastRowConversionMatchesTheRuleForEveryColour) {
    constexpr int rowLength = 259;                 // not a multiple of any vector width
    std::vector<std::uint8_t> rgb(rowLength * 3);  // the colours, for the reference
    std::vector<std::uint8_t> rgbx(rowLength * 4);
    std::vector<std::uint8_t> fromRgbx(rowLength);
    std::size_t mismatches = 0;
    std::uint32_t colour = 0;
    while (colour < (1u << 24)) {
        const int count = static_cast<int>(std::min<std::uint32_t>(rowLength, (1u << 24) - colour));
        for (int i = 0; i < count; ++i, ++colour) {
            const std::uint8_t channels[3] = {static_cast<std::uint8_t>(colour >> 16),
                                              static_cast<std::uint8_t>(colour >> 8),
                                              static_cast<std::uint8_t>(colour)};
            for (int c = 0; c < 3; ++c) {
                rgb[3 * i + c] = channels[c];
                rgbx[4 * i + c] = channels[c];
            }
            rgbx[4 * i + 3] = static_cast<std::uint8_t>(colour * 37);
        }
        rgbxRowToGray(rgbx.data(), fromRgbx.data(), count);
        for (int i = 0; i < count; ++i) {
            const std::uint8_t expected = grayOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
            mismatches += fromRgbx[i] != expected;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace

// EXIF orientations on a picture of 19 x 13 (whole 8 x 8 blocks and the
// edges around them): upright pixel (x, y) comes from stored column sx and
// row sy as the EXIF definitions say.
TEST(Orientation, EachTurnsTheStoredPictureUpright) {
    const int W = 19, H = 13;
    using Source = std::pair<int, int> (*)(int x, int y);
    const Source sources[9] = {
        nullptr,
        [](int x, int y) {
            return std::pair{x, y};
        },
        [](int x, int y) {
            return std::pair{W - 1 - x, y};
        },
        [](int x, int y) {
            return std::pair{W - 1 - x, H - 1 - y};
        },
        [](int x, int y) {
            return std::pair{x, H - 1 - y};
        },
        [](int x, int y) {
            return std::pair{y, x};
        },
        [](int x, int y) {
            return std::pair{y, H - 1 - x};
        },
        [](int x, int y) {
            return std::pair{W - 1 - y, H - 1 - x};
        },
        [](int x, int y) {
            return std::pair{W - 1 - y, x};
        },
    };
    folder2pdf::Bytes scratch;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        folder2pdf::Bytes pixels;
        folder2pdf::GrayRaster raster(pixels, &scratch);
        raster.begin(W, H);
        for (int i = 0; i < W * H; ++i) {
            pixels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        }
        raster.orient(orientation);
        const int uprightW = orientation >= 5 ? H : W;
        ASSERT_EQ(raster.width(), uprightW);
        ASSERT_EQ(raster.height(), orientation >= 5 ? W : H);
        for (int y = 0; y < raster.height(); ++y) {
            for (int x = 0; x < uprightW; ++x) {
                const auto [sx, sy] = sources[orientation](x, y);
                ASSERT_EQ(raster.row(y)[x], static_cast<std::uint8_t>(sy * W + sx))
                    << x << "," << y;
            }
        }
    }
}
