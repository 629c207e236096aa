// libFuzzer target: the TIFF decoder alone, on any bytes: the pages
// pictureCount() finds, the first few of them decoded, and each one's Group
// 4 strip read as --color keeps it.
#include <algorithm>

#include "fuzz/FuzzTarget.h"
#include "image/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t pages = std::min<std::size_t>(folder2pdf::pictureCount(data, size), 3);
    for (std::size_t page = 0; page < pages; ++page) {
        folder2pdf::fuzz::fuzzDecoder(
            [page](const std::uint8_t* bytes, std::size_t length, folder2pdf::GrayRaster& out) {
                folder2pdf::decodeTiff(bytes, length, out, page);
            },
            data, size);
        folder2pdf::FaxStrip strip;
        try {
            if (folder2pdf::readFaxStrip(data, size, page, strip) && strip.code.size() > size) {
                __builtin_trap();
            }
        } catch (const folder2pdf::Error&) {
        }
    }
    return 0;
}
