#include "image/Decoders.h"

namespace folder2pdf {

bool sniffJpeg(const std::uint8_t*, std::size_t) { return false; }

void decodeJpeg(const std::uint8_t*, std::size_t, GrayRaster&) {
    throw Error(ErrorKind::DecodeError, "Jpeg pictures are not supported yet");
}

}  // namespace folder2pdf
