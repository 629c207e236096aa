#include "page/Compress.h"

#include "common/Text.h"

#include <zlib.h>

#include <cmath>
#include <utility>

namespace folder2pdf {

std::int32_t compressCapacity(std::int32_t n) {
    // The products and sums are meant to be rounded as binary64 each step,
    // and the conversion to take the nearest integer with halves to even,
    // which is what nearbyint does in the default rounding mode.
    const double capacity = (static_cast<double>(n) * 0.01 + static_cast<double>(n)) + 12.0;
    const double rounded = std::nearbyint(capacity);
    if (!(rounded <= 2147483647.0)) {
        throw Error(ErrorReason::TooLarge,
                    "compression room for " + groupedNumber(static_cast<std::uint64_t>(n)) +
                        " bytes passes the 2,147,483,647-byte limit");
    }
    return static_cast<std::int32_t>(rounded);
}

int CompressBytes(Bytes& data, Bytes& scratch, CompressFunction compressor) {
    if (data.empty()) {
        throw Error(ErrorReason::Damaged, "subscript out of range: nothing to compress");
    }
    const std::int32_t n = checkedInt32(data.size());
    checkedAdd(n, 1);
    const std::int32_t capacity = compressCapacity(n);
    resizeBytes(scratch, static_cast<std::size_t>(capacity) + 1);

    // One byte less is offered than the scratch holds, as the old zlib
    // sizing rule this capacity comes from did.
    unsigned long length = static_cast<unsigned long>(capacity);
    const int result = (compressor ? compressor : ::compress)(scratch.data(), &length, data.data(),
                                                              static_cast<unsigned long>(n));
    if (result != Z_OK) {
        return result;
    }
    scratch.resize(length);
    std::swap(data, scratch);
    return Z_OK;
}

}  // namespace folder2pdf
