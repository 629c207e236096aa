// libFuzzer target: the whole picture loader from bytes, as a page sees it:
// the format told by content, then the decoder, the errors named.
#include <cstring>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "image/ImgToByte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = "fuzz-input";
    folder2pdf::ImgToByte loader;
    folder2pdf::Bytes imgData;
    try {
        loader.loadBytes(data, size, name, imgData);
    } catch (const folder2pdf::Error& error) {
        // Every refusal names the file, whichever decoder raised it.
        if (std::strncmp(error.what(), "fuzz-input: ", 12) != 0) {
            __builtin_trap();
        }
        return 0;
    }
    folder2pdf::fuzz::checkRaster(imgData, loader.Width(), loader.Height());
    return 0;
}
