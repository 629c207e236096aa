#pragma once

#include <cstdint>

namespace folder2pdf {

// The gray level of one pixel by the ITU-R BT.601 luma weights, computed as
// (0.587 G + 0.299 R) + 0.114 B in double precision and rounded to the nearest
// integer, an exact half going to the even neighbour. Pages must come out the
// same on every machine, so this exact rule is the reference; the fast paths
// below are proven equal to it on all 2^24 colours by the tests.
std::uint8_t grayOf(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Converts `count` pixels of R, G, B bytes into `count` gray bytes.
void rgbRowToGray(const std::uint8_t* rgb, std::uint8_t* gray, std::int32_t count);

// The same for pixels of four bytes, R, G, B and one ignored. Decoders that
// can deliver this layout should: it converts several times faster.
void rgbxRowToGray(const std::uint8_t* rgbx, std::uint8_t* gray, std::int32_t count);

}  // namespace folder2pdf
