#pragma once

#include "common/Checked.h"
#include "image/GrayImage.h"

namespace folder2pdf {

// The largest side a JPEG can have.
constexpr std::int32_t maxJpegSide = 65500;

// Encodes `image` (a side at most maxJpegSide) as a baseline JPEG, gray or
// (channels 3) YCbCr colour, of
// `quality` (1 to 100) with libjpeg, Huffman tables optimised for the
// picture, into `out`, whose memory is reused. Lossy: the page's levels
// differ from the picture's by the JPEG error. Throws Error with libjpeg's
// reason (OutOfMemory when memory ran out).
void encodeJpeg(const GrayImage& image, int quality, Bytes& out);

}  // namespace folder2pdf
