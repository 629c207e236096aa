#include "image/GrayRaster.h"

#include <cstring>
#include <limits>

#include "image/Gray.h"

namespace folder2pdf {

void GrayRaster::checkSize(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) {
        throw Error(ErrorKind::DecodeError, "the picture has no pixels (" + std::to_string(width) +
                                                " x " + std::to_string(height) + ")");
    }
    // The loader's rules count the picture also as 24-bit rows padded to a
    // multiple of 4 bytes; both sizes must stay within 32 bits.
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    const std::int64_t pixels = std::int64_t{width} * height;
    if (pixels > limit) {
        throw Error(ErrorKind::Overflow,
                    "picture too large: " + size + " pass the 2,147,483,647-byte limit");
    }
    const std::int64_t stride = (3 * std::int64_t{width} + 3) / 4 * 4;
    if (stride * height > limit) {
        throw Error(ErrorKind::Overflow, "picture too large: " + size + " take " +
                                             std::to_string(stride * height) +
                                             " bytes as 24-bit rows, past the "
                                             "2,147,483,647-byte limit");
    }
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
