#include <gtest/gtest.h>
#include <zlib.h>

#include "TestSupport.h"
#include "common/Error.h"
#include "pdf/Compress.h"

using folder2pdf::Bytes;
using folder2pdf::CompressBytes;
using folder2pdf::compressCapacity;

namespace {

TEST(CompressCapacity, RoundsTheSizingRuleHalfToEven) {
    const std::pair<std::int32_t, std::int32_t> table[] = {
        {1, 13},    {10, 22},   {49, 61},   {50, 62},       {51, 64},
        {100, 113}, {150, 164}, {250, 264}, {10000, 10112},
    };
    for (auto [n, capacity] : table) {
        EXPECT_EQ(compressCapacity(n), capacity) << "n = " << n;
    }
}

TEST(CompressBytes, RoundTripsThroughInflate) {
    std::uint32_t state = 12345;
    for (std::size_t size : {1u, 2u, 1000u, 300000u}) {
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) {  // the largest is noise: it has to fit too
            state = state * 1664525u + 1013904223u;
            data[i] = static_cast<std::uint8_t>(size > 1000 ? state >> 24 : (i * i) >> 3);
        }
        const Bytes original = data;
        ASSERT_EQ(CompressBytes(data), Z_OK);
        EXPECT_EQ(data[0] & 0x0f, 8) << "a zlib stream with the deflate method";
        const auto back = testsupport::inflate(data.data(), data.size());
        EXPECT_TRUE(std::equal(back.begin(), back.end(), original.begin(), original.end())) << size;
    }
}

int failingCompress(unsigned char* dest, unsigned long* destLen, const unsigned char*,
                    unsigned long) {
    // Scribbles over its output room, as a real failure part-way might.
    for (unsigned long i = 0; i < *destLen; ++i) {
        dest[i] = 0xAA;
    }
    return Z_MEM_ERROR;
}

TEST(CompressBytes, FailureReturnsTheCodeAndLeavesTheArrayAsItWas) {
    Bytes data = {1, 2, 3, 4, 5};
    Bytes scratch;
    EXPECT_EQ(CompressBytes(data, scratch, failingCompress), Z_MEM_ERROR);
    EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5}));
}

TEST(CompressBytes, EmptyArrayIsASubscriptErrorAndA2GiBOneAnOverflow) {
    Bytes empty;
    try {
        CompressBytes(empty);
        FAIL();
    } catch (const folder2pdf::Error& error) {
        EXPECT_EQ(error.kind(), folder2pdf::ErrorKind::SubscriptOutOfRange);
    }
    try {
        compressCapacity(2147483647);
        FAIL();
    } catch (const folder2pdf::Error& error) {
        EXPECT_EQ(error.kind(), folder2pdf::ErrorKind::Overflow);
    }
}

}  // namespace
