// libFuzzer target: the whole picture loader from bytes, as a page sees it:
// the format told by content, then the decoder.
#include "fuzz/FuzzTarget.h"
#include "image/ImgToByte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    folder2pdf::ImgToByte loader;
    folder2pdf::GrayImage image;
    try {
        loader.loadBytes(data, size, image);
    } catch (const folder2pdf::Error&) {
        return 0;
    }
    folder2pdf::fuzz::checkRaster(image.imgData, image.Width, image.Height);
    return 0;
}
