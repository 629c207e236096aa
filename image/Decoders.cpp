#include "image/Decoders.h"

#include <string>

namespace folder2pdf {
namespace {

using DecodeOne = void (*)(const std::uint8_t*, std::size_t, GrayRaster&);

// A format of one picture a file: any page but the first is missing.
template <DecodeOne decode>
void firstPageOnly(const std::uint8_t* data, std::size_t size, GrayRaster& out, std::size_t page) {
    if (page != 0) {
        throw Error(ErrorReason::Damaged,
                    "no page " + std::to_string(page + 1) + ": the file holds one picture");
    }
    decode(data, size, out);
}

struct Format {
    bool (*sniff)(const std::uint8_t*, std::size_t);
    void (*decode)(const std::uint8_t*, std::size_t, GrayRaster&, std::size_t page);
    std::size_t (*count)(const std::uint8_t*, std::size_t);  // null for one picture a file
};
const Format formats[] = {
    {sniffPng, firstPageOnly<decodePng>, nullptr},
    {sniffJpeg, firstPageOnly<decodeJpeg>, nullptr},
    {sniffGif, firstPageOnly<decodeGif>, nullptr},
    {sniffBmp, firstPageOnly<decodeBmp>, nullptr},
    {sniffTiff, decodeTiff, tiffPageCount},
    {sniffWebp, firstPageOnly<decodeWebp>, nullptr},
    {sniffHeif, firstPageOnly<decodeHeif>, nullptr},
};

const Format* formatOf(const std::uint8_t* data, std::size_t size) {
    for (const Format& format : formats) {
        if (format.sniff(data, size)) {
            return &format;
        }
    }
    return nullptr;
}

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
    return formatOf(data, size) != nullptr;
}

bool mayHoldSeveralPictures(const std::uint8_t* data, std::size_t size) {
    const Format* format = formatOf(data, size);
    return format != nullptr && format->count != nullptr;
}

std::size_t pictureCount(const std::uint8_t* data, std::size_t size) {
    const Format* format = formatOf(data, size);
    return format != nullptr && format->count != nullptr ? format->count(data, size) : 1;
}

void decodePicture(const std::uint8_t* data, std::size_t size, GrayRaster& out, std::size_t page) {
    const Format* format = formatOf(data, size);
    if (format == nullptr) {
        throw Error(ErrorReason::NotAPicture, notAPictureReason);
    }
    format->decode(data, size, out, page);
}

}  // namespace folder2pdf
