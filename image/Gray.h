#pragma once

#include <cstdint>

namespace folder2pdf {

// The gray level of one pixel by the ITU-R BT.601 luma weights, computed as
// (0.587 G + 0.299 R) + 0.114 B in double precision and rounded to the nearest
// integer, an exact half going to the even neighbour. Pages must come out the
// same on every machine, so this exact rule is the reference; the fast paths
// below must agree with it on every color (the test pictures' rasters,
// computed apart from this code, check them).
std::uint8_t grayOf(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// Converts `count` pixels of four bytes, R, G, B and one ignored, into
// `count` gray bytes. Four bytes a pixel, rather than three, let the loop
// run on vector registers of any x86-64.
void rgbxRowToGray(const std::uint8_t* rgbx, std::uint8_t* gray, std::int32_t count);

// Converts `count` pixels of C, M, Y, K (four bytes each) into R, G, B and a
// spare byte, in place or not: R = (255 - C)(255 - K) / 255 rounded to
// nearest, or C K / 255 when `inverted` (Adobe's JPEGs store 0 for full ink).
void cmykRowToRgbx(const std::uint8_t* cmyk, std::uint8_t* rgbx, std::int32_t count, bool inverted);

}  // namespace folder2pdf
