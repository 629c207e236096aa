#include "image/Decoders.h"

namespace folder2pdf {

bool sniffGif(const std::uint8_t*, std::size_t) { return false; }

void decodeGif(const std::uint8_t*, std::size_t, GrayRaster&) {
    throw Error(ErrorKind::DecodeError, "Gif pictures are not supported yet");
}

}  // namespace folder2pdf
