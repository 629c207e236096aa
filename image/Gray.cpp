#include "image/Gray.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace folder2pdf {

std::uint8_t grayOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    // Built with -ffp-contract=off: a fused multiply-add would round once
    // where the rule rounds twice, and change some exact halves.
    const double sum = (0.587 * g + 0.299 * r) + 0.114 * b;
    return static_cast<std::uint8_t>(std::nearbyint(sum));
}

void cmykRowToRgbx(const std::uint8_t* cmyk, std::uint8_t* rgbx, std::int32_t count,
                   bool inverted) {
    for (std::int32_t x = 0; x < count; ++x) {
        const unsigned k = cmyk[4 * x + 3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = cmyk[4 * x + c];
            // (p + 127) / 255 rounds p / 255 to nearest: with 255 odd there
            // are no exact halves.
            const unsigned product = inverted ? ink * k : (255 - ink) * (255 - k);
            rgbx[4 * x + c] = static_cast<std::uint8_t>((product + 127) / 255);
        }
    }
}

namespace {

// With s = 587 G + 299 R + 114 B the true luma is s / 1000, and every value
// of the double sum lies within 1e-12 of it. So the double rule agrees with
// rounding s / 1000 to nearest except where s / 1000 is an exact half:
// there the double sum's own rounding error decides, and only the reference
// can say which way. Those ties are rare, so the shortcut computes
// floor((s + 500) / 1000) in integers and reports whether a tie occurred.
// (x >> 3) * 33555 >> 22 equals x / 1000 for every x below 256000.
inline bool shortcutGray(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint8_t& gray) {
    const std::uint32_t s = 587 * g + 299 * r + 114 * b + 500;
    const std::uint32_t q = ((s >> 3) * 33555u) >> 22;
    gray = static_cast<std::uint8_t>(q);
    return s == q * 1000;
}

}  // namespace

void rgbxRowToGray(const std::uint8_t* __restrict rgbx, std::uint8_t* __restrict gray,
                   std::int32_t pixels) {
    // Offsets in size_t: 4 x i passes 2^31 in rows of over 536 million pixels.
    const auto count = static_cast<std::size_t>(pixels);
    // A tie goes to the reference at once; rows of thousands of pixels
    // nearly always hold a few.
    auto settle = [&](std::size_t i) {
        gray[i] = grayOf(rgbx[4 * i], rgbx[4 * i + 1], rgbx[4 * i + 2]);
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Four bytes a pixel split cleanly into 16-bit lanes: (R, B) and (G, X).
    // pmaddwd forms 299 R + 114 B and 587 G in 32 bits. With x = (s + 500) / 8
    // below 32000, the division by 125 is the high half of x * 33555
    // shifted right by 6, exact for every x in range. A tie is s + 500 being
    // a multiple of 1000: divisible by 8, and x = 125 q.
    const __m128i lowBytes = _mm_set1_epi32(0x00ff00ff);
    const __m128i redBlueWeights = _mm_set1_epi32((114 << 16) | 299);
    const __m128i greenWeight = _mm_set1_epi32(587);
    const __m128i half = _mm_set1_epi32(500);
    const __m128i seven = _mm_set1_epi32(7);
    const __m128i reciprocal = _mm_set1_epi16(static_cast<short>(33555));
    const __m128i hundredTwentyFive = _mm_set1_epi16(125);
    const __m128i zero = _mm_setzero_si128();
    auto sums = [&](__m128i pixels) {
        const __m128i redBlue = _mm_madd_epi16(_mm_and_si128(pixels, lowBytes), redBlueWeights);
        const __m128i green =
            _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(pixels, 8), lowBytes), greenWeight);
        return _mm_add_epi32(_mm_add_epi32(redBlue, green), half);
    };
    for (; i + 8 <= count; i += 8) {
        const __m128i s0 = sums(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgbx + 4 * i)));
        const __m128i s1 =
            sums(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgbx + 4 * i + 16)));
        const __m128i x = _mm_packs_epi32(_mm_srli_epi32(s0, 3), _mm_srli_epi32(s1, 3));
        const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(x, reciprocal), 6);
        const __m128i exact = _mm_cmpeq_epi16(_mm_mullo_epi16(q, hundredTwentyFive), x);
        const __m128i aligned = _mm_cmpeq_epi16(
            _mm_packs_epi32(_mm_and_si128(s0, seven), _mm_and_si128(s1, seven)), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(gray + i), _mm_packus_epi16(q, q));
        // Two mask bits a 16-bit lane: lane j is bit 2j.
        int ties = _mm_movemask_epi8(_mm_and_si128(exact, aligned));
        for (std::size_t j = 0; ties != 0; ++j, ties >>= 2) {
            if (ties & 1) {
                settle(i + j);
            }
        }
    }
#endif
    for (; i < count; ++i) {
        if (shortcutGray(rgbx[4 * i], rgbx[4 * i + 1], rgbx[4 * i + 2], gray[i])) {
            settle(i);
        }
    }
}

}  // namespace folder2pdf
