#include "image/Decoders.h"

namespace folder2pdf {

bool sniffPng(const std::uint8_t*, std::size_t) { return false; }

void decodePng(const std::uint8_t*, std::size_t, GrayRaster&) {
    throw Error(ErrorKind::DecodeError, "Png pictures are not supported yet");
}

}  // namespace folder2pdf
