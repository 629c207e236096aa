#include "image/Gray.h"

#include <cmath>

namespace folder2pdf {

std::uint8_t grayOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    // Built with -ffp-contract=off: a fused multiply-add would round once
    // where the rule rounds twice, and change some exact halves.
    const double sum = (0.587 * g + 0.299 * r) + 0.114 * b;
    return static_cast<std::uint8_t>(std::nearbyint(sum));
}

// Every x86-64 has SSE2, where the compiler can't vectorise the 3-byte
// pixel loads well; with AVX2 it can, so both versions are built and the
// better one is picked when the program starts.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void rgbRowToGray(const std::uint8_t* __restrict rgb, std::uint8_t* __restrict gray,
                  std::int32_t count) {
    // With s = 587 G + 299 R + 114 B the true luma is s / 1000, and every
    // value of the double sum lies within 1e-12 of it. So the double rule
    // agrees with rounding s / 1000 to nearest except where s / 1000 is an
    // exact half: there the double sum's own rounding error decides, and
    // only the reference can say which way. Those ties are rare, so the loop
    // computes floor((s + 500) / 1000) in 32-bit integers, which the
    // compiler can vectorise, and notes whether a tie occurred.
    // (x >> 3) * 33555 >> 22 equals x / 1000 for every x below 256000.
    std::uint32_t anyTie = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t r = rgb[3 * i];
        const std::uint32_t g = rgb[3 * i + 1];
        const std::uint32_t b = rgb[3 * i + 2];
        const std::uint32_t s = 587 * g + 299 * r + 114 * b + 500;
        const std::uint32_t q = ((s >> 3) * 33555u) >> 22;
        gray[i] = static_cast<std::uint8_t>(q);
        anyTie |= static_cast<std::uint32_t>(s == q * 1000);
    }
    if (anyTie == 0) {
        return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t r = rgb[3 * i];
        const std::uint32_t g = rgb[3 * i + 1];
        const std::uint32_t b = rgb[3 * i + 2];
        if ((587 * g + 299 * r + 114 * b) % 1000 == 500) {
            gray[i] = grayOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        }
    }
}

}  // namespace folder2pdf
