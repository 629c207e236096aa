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
    // Libraries speak of their own workings ("IEND: out of place", "Not
    // enough image data"); people need to hear what is wrong with the file.
    // The library's words follow, for whoever reports the fault.
    std::string lower = message;
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const bool cut = lower.find("premature end") != std::string::npos ||
                     lower.find("not enough") != std::string::npos ||
                     lower.find("unexpected end") != std::string::npos ||
                     lower.find("truncat") != std::string::npos ||
                     lower.find("read error") != std::string::npos ||
                     lower.find("eof") != std::string::npos;
    const std::string said = cut ? "the file ends in the middle of the picture"
                                 : std::string("its ") + format + " data is damaged";
    return Error(ErrorReason::Damaged, said + " (" + format + ": " + message + ")");
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
