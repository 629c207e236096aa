#include <gtest/gtest.h>

#include <vector>

#include "image/Gray.h"

using folder2pdf::grayOf;
using folder2pdf::rgbRowToGray;

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
// double rule on every one of the 2^24 colours.
TEST(GrayRule, FastRowConversionMatchesTheRuleForEveryColour) {
    std::vector<std::uint8_t> rgb(256 * 3);
    std::vector<std::uint8_t> gray(256);
    std::size_t mismatches = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                rgb[3 * b] = static_cast<std::uint8_t>(r);
                rgb[3 * b + 1] = static_cast<std::uint8_t>(g);
                rgb[3 * b + 2] = static_cast<std::uint8_t>(b);
            }
            rgbRowToGray(rgb.data(), gray.data(), 256);
            for (int b = 0; b < 256; ++b) {
                if (gray[b] != grayOf(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                      static_cast<std::uint8_t>(b))) {
                    ++mismatches;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
