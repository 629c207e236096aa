#pragma once

#include <cstdint>

#include "common/Checked.h"

namespace folder2pdf {

// One decoded picture: its size in pixels and its gray raster, imgData
// holding Width x Height bytes, rows from the top, each left to right. The
// loader fills it; a GrayImage kept from picture to picture reuses its
// raster's memory.
//
// Loaded to keep colour, a picture whose decoder delivered colour rows has
// `channels` 3: imgData holds R, G, B bytes a pixel.
struct GrayImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    Bytes imgData;
    int channels = 1;
};

}  // namespace folder2pdf
