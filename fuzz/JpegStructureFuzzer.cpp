// libFuzzer target: the JPEG structure walk and the EXIF reader, on any
// bytes, checked against the decoder. A walk that trusts a file the decoder
// refuses is a finding; so is a refusal of a file under 512 bytes that the
// decoder takes, since below that libjpeg reads every scan the careful way
// the walk mirrors.
#include "fuzz/FuzzTarget.h"
#include "image/Decoders.h"
#include "image/JpegStructure.h"

namespace {

bool decoderAccepts(const std::uint8_t* data, std::size_t size) {
    folder2pdf::Bytes imgData;
    folder2pdf::GrayRaster raster(imgData);
    try {
        folder2pdf::decodeJpeg(data, size, raster);
    } catch (const folder2pdf::Error&) {
        return false;
    }
    return true;
}

void checkExif(const std::uint8_t* data, std::size_t size) {
    const folder2pdf::ExifFacts exif = folder2pdf::readExif(data, size);
    if (exif.orientation < 1 || exif.orientation > 8 ||
        !(exif.dateTimeOriginal.empty() || exif.dateTimeOriginal.size() == 19)) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkExif(data, size);
    folder2pdf::JpegFacts facts;
    try {
        facts = folder2pdf::readJpegStructure(data, size);
    } catch (const folder2pdf::Error& e) {
        if (size < 512 && e.reason() == folder2pdf::ErrorReason::Damaged &&
            decoderAccepts(data, size)) {
            __builtin_trap();
        }
        return 0;
    }
    if (facts.end < 4 || facts.end > size || data[facts.end - 2] != 0xFF ||
        data[facts.end - 1] != 0xD9 || facts.components < 1 || facts.width < 1 ||
        facts.height < 1 || facts.scans < 1) {
        __builtin_trap();
    }
    if (facts.trusted && !decoderAccepts(data, size)) {
        __builtin_trap();
    }
    return 0;
}
