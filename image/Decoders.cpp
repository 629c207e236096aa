#include "image/Decoders.h"

namespace folder2pdf {
namespace {

struct Format {
    bool (*sniff)(const std::uint8_t*, std::size_t);
    void (*decode)(const std::uint8_t*, std::size_t, GrayRaster&);
};
const Format formats[] = {
    {sniffPng, decodePng},
    {sniffJpeg, decodeJpeg},
    {sniffGif, decodeGif},
    {sniffBmp, decodeBmp},
};

}  // namespace

Error libraryError(const std::string& message, const char* format) {
    std::string reason = message;
    if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a' &&
        reason[1] <= 'z') {
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    }
    if (reason.find(format) == std::string::npos) {
        reason = format + (": " + reason);
    }
    return Error(ErrorReason::Damaged, reason);
}

bool sniffPicture(const std::uint8_t* data, std::size_t size) {
    for (const Format& format : formats) {
        if (format.sniff(data, size)) {
            return true;
        }
    }
    return false;
}

void decodePicture(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    for (const Format& format : formats) {
        if (format.sniff(data, size)) {
            format.decode(data, size, out);
            return;
        }
    }
    throw Error(ErrorReason::NotAPicture, notAPictureReason);
}

}  // namespace folder2pdf
