#include "page/CompactEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "page/Palette.h"

namespace folder2pdf {
namespace {

// Below this many bytes a picture is compressed both ways whole: it costs
// little, and the choice is then exact.
constexpr std::size_t wholeChoiceBytes = 256 << 10;
// The sample: blocks of rows of about 32 KiB, deflate's window, one block
// in every `sampleSpacing`.
constexpr std::size_t sampleBlockBytes = 32 << 10;
constexpr std::size_t sampleSpacing = 16;
// The sample tells the smaller way to within a few per cent; a way is
// taken on its word only when it is smaller by more.
constexpr double closeCall = 0.95;

struct Rows {
    const std::uint8_t* data;
    std::size_t rowBytes;
    std::size_t count;
};

// zlib's default level, as the default document's pages have it, or, for
// rows after PNG filters, run-length matches only: filtered photographs
// leave few longer matches worth the search, and zlib's own advice for
// such data is this strategy.
enum class Deflate { Default, Filtered };

void deflateInto(const std::uint8_t* data, std::size_t size, Bytes& out, Deflate way) {
    z_stream stream{};
    const int strategy = way == Deflate::Filtered ? Z_RLE : Z_DEFAULT_STRATEGY;
    int result = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, strategy);
    if (result == Z_OK) {
        resizeBytes(out, deflateBound(&stream, static_cast<uLong>(size)));
        stream.next_in = const_cast<std::uint8_t*>(data);  // zlib's old API only reads it
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
    }
    if (result != Z_STREAM_END) {
        throw Error(result == Z_MEM_ERROR ? ErrorReason::OutOfMemory : ErrorReason::TooLarge,
                    "compression failed (zlib error " + std::to_string(result) + ")");
    }
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The PNG filter of `type` (0 None .. 4 Paeth) at byte x of `row`, whose
// row above is `up` (zeros for the first row); a pixel is `bpp` bytes.
template <std::size_t bpp>
std::uint8_t predictor(int type, const std::uint8_t* row, const std::uint8_t* up, std::size_t x) {
    const int a = x >= bpp ? row[x - bpp] : 0;
    const int b = up[x];
    const int c = x >= bpp ? up[x - bpp] : 0;
    switch (type) {
        case 1:
            return static_cast<std::uint8_t>(a);
        case 2:
            return static_cast<std::uint8_t>(b);
        case 3:
            return static_cast<std::uint8_t>((a + b) / 2);
        case 4:
            return static_cast<std::uint8_t>(paeth(a, b, c));
        default:
            return 0;
    }
}

// The filter type whose output has the least sum of absolute values, each
// byte read as signed: the usual heuristic of PNG encoders.
template <std::size_t bpp>
int bestFilter(const std::uint8_t* row, const std::uint8_t* up, std::size_t rowBytes) {
    const auto cost = [](int difference) {
        return std::abs(static_cast<int>(static_cast<std::int8_t>(difference)));
    };
    long sums[5] = {};
    for (std::size_t x = 0; x < rowBytes; ++x) {
        const int a = x >= bpp ? row[x - bpp] : 0;
        const int b = up[x];
        const int c = x >= bpp ? up[x - bpp] : 0;
        const int r = row[x];
        sums[0] += cost(r);
        sums[1] += cost(r - a);
        sums[2] += cost(r - b);
        sums[3] += cost(r - (a + b) / 2);
        sums[4] += cost(r - paeth(a, b, c));
    }
    return static_cast<int>(std::min_element(sums, sums + 5) - sums);
}

// Every row after its filter type byte, as PNG predictor 15 reads them.
template <std::size_t bpp>
void filterRows(const Rows& rows, Bytes& filtered, Bytes& zeros) {
    resizeBytes(filtered, (rows.rowBytes + 1) * rows.count);
    resizeBytes(zeros, rows.rowBytes);
    std::memset(zeros.data(), 0, rows.rowBytes);
    for (std::size_t y = 0; y < rows.count; ++y) {
        const std::uint8_t* row = rows.data + y * rows.rowBytes;
        const std::uint8_t* up = y > 0 ? row - rows.rowBytes : zeros.data();
        std::uint8_t* out = filtered.data() + y * (rows.rowBytes + 1);
        const int type = bestFilter<bpp>(row, up, rows.rowBytes);
        out[0] = static_cast<std::uint8_t>(type);
        for (std::size_t x = 0; x < rows.rowBytes; ++x) {
            out[x + 1] = static_cast<std::uint8_t>(row[x] - predictor<bpp>(type, row, up, x));
        }
    }
}

// The compressed size of a sample of rows, `stride` bytes each, compressed
// `way`: blocks of rows, one in every `sampleSpacing`, the first half a
// spacing down, so that a page's blank top doesn't weigh more than its share.
std::size_t sampleSize(const std::uint8_t* data, std::size_t stride, std::size_t count,
                       std::size_t block, Deflate way, Bytes& sample, Bytes& zipped) {
    sample.clear();
    for (std::size_t y = block * sampleSpacing / 2 % count; y < count; y += block * sampleSpacing) {
        const std::size_t rows = std::min(block, count - y);
        sample.insert(sample.end(), data + y * stride, data + (y + rows) * stride);
    }
    deflateInto(sample.data(), sample.size(), zipped, way);
    return zipped.size();
}

}  // namespace

int levelBits(const Bytes& raster) {
    bool used[256] = {};
    for (const std::uint8_t level : raster) {
        used[level] = true;
    }
    for (const int bits : {1, 2, 4}) {
        const int step = 255 / ((1 << bits) - 1);
        bool exact = true;
        for (int level = 0; level < 256 && exact; ++level) {
            exact = !used[level] || level % step == 0;
        }
        if (exact) {
            return bits;
        }
    }
    return 8;
}

void CompactEncoder::encode(const GrayImage& image, PreparedPage& page) {
    // Colour rows keep 8 bits: fewer would need every channel's levels to fit.
    const bool color = image.channels == 3;
    const int bits = color ? 8 : levelBits(image.imgData);
    if (bits < 8) {
        packRows(image.imgData, image.Width, image.Height, bits, 255 / ((1 << bits) - 1), packed_);
    }
    page.bitsPerComponent = bits;
    compressRows(bits < 8 ? packed_ : image.imgData, image.Height, color ? 3 : 1, page);
}

void CompactEncoder::encodePacked(const Bytes& rows, std::int32_t height, PreparedPage& page) {
    compressRows(rows, height, 1, page);
}

void CompactEncoder::compressRows(const Bytes& source, std::int32_t height, int bytesPerPixel,
                                  PreparedPage& page) {
    const Rows rows{source.data(), source.size() / static_cast<std::size_t>(height),
                    static_cast<std::size_t>(height)};
    if (bytesPerPixel == 3) {
        filterRows<3>(rows, filtered_, zeros_);
    } else {
        filterRows<1>(rows, filtered_, zeros_);
    }

    // The same sample of rows compressed both ways tells which way is
    // smaller; only a close call is settled by compressing the page both ways.
    page.kind = StreamKind::PredictedFlate;
    if (source.size() > wholeChoiceBytes) {
        const std::size_t block = std::max<std::size_t>(1, sampleBlockBytes / rows.rowBytes);
        const auto plain = static_cast<double>(sampleSize(
            rows.data, rows.rowBytes, rows.count, block, Deflate::Default, sample_, zipped_));
        const auto predicted =
            static_cast<double>(sampleSize(filtered_.data(), rows.rowBytes + 1, rows.count, block,
                                           Deflate::Filtered, sample_, zipped_));
        if (predicted < closeCall * plain || plain < closeCall * predicted) {
            const bool filter = predicted < plain;
            page.kind = filter ? StreamKind::PredictedFlate : StreamKind::Flate;
            const Bytes& chosen = filter ? filtered_ : source;
            deflateInto(chosen.data(), chosen.size(), page.stream,
                        filter ? Deflate::Filtered : Deflate::Default);
            return;
        }
    }
    deflateInto(filtered_.data(), filtered_.size(), page.stream, Deflate::Filtered);
    deflateInto(source.data(), source.size(), zipped_, Deflate::Default);
    if (zipped_.size() <= page.stream.size()) {
        std::swap(page.stream, zipped_);
        page.kind = StreamKind::Flate;
    }
}

}  // namespace folder2pdf
