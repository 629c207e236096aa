#pragma once

#include "image/GrayImage.h"

namespace folder2pdf {

// `image` made `scale` (0 to 1] times as wide and high, at least one pixel
// each way, each new pixel the mean of the old ones it covers (a box
// filter, rounded to nearest, each channel alone), into `out`, whose memory is reused.
// Returns `out`.
const GrayImage& scaledDown(const GrayImage& image, double scale, GrayImage& out);

}  // namespace folder2pdf
