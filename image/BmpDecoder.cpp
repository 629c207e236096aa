#include "image/Decoders.h"

namespace folder2pdf {

bool sniffBmp(const std::uint8_t*, std::size_t) { return false; }

void decodeBmp(const std::uint8_t*, std::size_t, GrayRaster&) {
    throw Error(ErrorKind::DecodeError, "Bmp pictures are not supported yet");
}

}  // namespace folder2pdf
