// libFuzzer target: the HEIF decoder (HEIC and AVIF) alone, on any bytes.
#include "fuzz/FuzzTarget.h"
#include "image/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return folder2pdf::fuzz::fuzzDecoder(folder2pdf::decodeHeif, data, size);
}
