#pragma once

#include <cstdint>

#include "common/Checked.h"

namespace folder2pdf {

// One decoded picture: its size in pixels and its gray raster, imgData
// holding Width x Height bytes, rows from the top, each left to right. The
// loader fills it; a GrayImage kept from picture to picture reuses its
// raster's memory.
struct GrayImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    Bytes imgData;
};

}  // namespace folder2pdf
