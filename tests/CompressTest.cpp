#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "common/Error.h"
#include "page/Compress.h"

namespace folder2pdf {
namespace {

TEST(CompressCapacity, RoundsTheSizingRuleHalfToEvenUpTo2GiB) {
    const std::pair<std::int32_t, std::int32_t> table[] = {
        {1, 13},    {10, 22},   {49, 61},   {50, 62},       {51, 64},
        {100, 113}, {150, 164}, {250, 264}, {10000, 10112},
    };
    for (auto [n, capacity] : table) {
        EXPECT_EQ(compressCapacity(n), capacity) << "n = " << n;
    }
    EXPECT_THROW(compressCapacity(2147483647), Error);
}

int failingCompress(unsigned char* dest, unsigned long* destLen, const unsigned char*,
                    unsigned long) {
    // Scribbles over its output room, as a real failure part-way might.
    std::fill(dest, dest + *destLen, 0xAA);
    return Z_MEM_ERROR;
}

TEST(CompressBytes, FailureLeavesTheArrayAsItWasAndEmptyIsRefused) {
    Bytes data = {1, 2, 3, 4, 5};
    Bytes scratch;
    EXPECT_EQ(CompressBytes(data, scratch, failingCompress), Z_MEM_ERROR);
    EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5}));
    Bytes empty;
    EXPECT_THROW(CompressBytes(empty, scratch), Error);
}

}  // namespace
}  // namespace folder2pdf
