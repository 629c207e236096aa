#include "image/GrayRaster.h"

#include <cstring>

#include "image/Gray.h"

namespace folder2pdf {

void GrayRaster::checkSize(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        throw Error(ErrorKind::DecodeError, "the picture has no pixels (" + std::to_string(width) +
                                                " x " + std::to_string(height) + ")");
    }
    // The loader's rules count the picture also as 24-bit rows padded to a
    // multiple of 4 bytes; both products must stay within 32 bits.
    checkedMul(width, height);
    const std::int64_t stride = (3 * static_cast<std::int64_t>(width) + 3) / 4 * 4;
    checkedMul(checkedInt32(stride), height);
}

void GrayRaster::begin(std::int32_t width, std::int32_t height) {
    checkSize(width, height);
    const std::int32_t pixels = width * height;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Pictures of hundreds of megabytes are allowed, but filling and freeing
    // them slows a fuzzer down a thousandfold; past the checks above, their
    // rows take the same paths as those of small pictures.
    if (pixels > (1 << 20)) {
        throw Error(ErrorKind::DecodeError, "fuzzing build: over a megapixel, not decoded");
    }
#endif
    resizeBytes(imgData_, static_cast<std::size_t>(pixels));
    width_ = width;
    height_ = height;
}

std::uint8_t* GrayRaster::row(std::int32_t y) {
    return imgData_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
}

void GrayRaster::putRgbxRow(std::int32_t y, const std::uint8_t* rgbx) {
    rgbxRowToGray(rgbx, row(y), width_);
}

void GrayRaster::putGrayRow(std::int32_t y, const std::uint8_t* gray) {
    std::memcpy(row(y), gray, static_cast<std::size_t>(width_));
}

}  // namespace folder2pdf
