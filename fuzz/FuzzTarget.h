#pragma once

#include <cstddef>
#include <cstdint>
#include <numeric>

#include "common/Checked.h"
#include "image/GrayRaster.h"

// The one entry point libFuzzer calls, and the replay driver too: runs the
// code under test on one input. Returns 0; a crash, a sanitizer report or an
// exception other than folder2pdf::Error is the finding.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace folder2pdf::fuzz {

// Reads every byte of a delivered raster, so that a size that disagrees with
// width x height, or a row beyond the allocation, shows up under
// AddressSanitizer here rather than later in a page.
inline void checkRaster(const Bytes& imgData, std::int32_t width, std::int32_t height) {
    if (imgData.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        __builtin_trap();
    }
    // In 64 bits: the replay programs decode pictures of over 8 megapixels.
    volatile std::uint64_t sum = std::accumulate(imgData.begin(), imgData.end(), std::uint64_t{0});
    (void)sum;
}

// One decoder on one input: an Error is the expected answer to bad bytes;
// anything else escapes to the fuzzer.
template <typename Decode>
int fuzzDecoder(Decode decode, const std::uint8_t* data, std::size_t size) {
    Bytes imgData;
    GrayRaster raster(imgData);
    try {
        decode(data, size, raster);
    } catch (const Error&) {
        return 0;
    }
    checkRaster(imgData, raster.width(), raster.height());
    return 0;
}

}  // namespace folder2pdf::fuzz
