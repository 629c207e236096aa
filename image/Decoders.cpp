#include "image/Decoders.h"

namespace folder2pdf {

void decodePicture(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    struct Format {
        bool (*sniff)(const std::uint8_t*, std::size_t);
        void (*decode)(const std::uint8_t*, std::size_t, GrayRaster&);
    };
    static const Format formats[] = {
        {sniffPng, decodePng},
        {sniffJpeg, decodeJpeg},
        {sniffGif, decodeGif},
        {sniffBmp, decodeBmp},
    };
    for (const Format& format : formats) {
        if (format.sniff(data, size)) {
            format.decode(data, size, out);
            return;
        }
    }
    throw Error(ErrorKind::DecodeError, "not a BMP, GIF, JPEG or PNG picture");
}

}  // namespace folder2pdf
