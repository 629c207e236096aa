#include "image/Thumbnail.h"

#include <algorithm>
#include <cmath>

#include "common/Checked.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

namespace folder2pdf {
namespace {

// Bytes a pixel that a format's decoder holds of its own for the whole
// picture, beside the raster: WebP decodes to RGBA whole, TIFF may keep
// the samples and RGBA, libheif its picture and the codec's frames. The
// others deliver rows as they go (a progressive JPEG's coefficients are
// told by the decoder itself). The raster's size is counted once more,
// for EXIF's turns and for colour rows widening a gray start.
std::uint64_t besideBytesPerPixel(const std::uint8_t* data, std::size_t size) {
    if (sniffWebp(data, size)) {
        return 4;
    }
    if (sniffTiff(data, size)) {
        return 8;
    }
    if (sniffHeif(data, size)) {
        return 6;
    }
    return 0;
}

struct Size {
    std::int32_t width;
    std::int32_t height;
};

Size fitInBox(std::int32_t width, std::int32_t height, std::int32_t box) {
    if (width <= box && height <= box) {
        return {width, height};
    }
    const double scale = static_cast<double>(box) / std::max(width, height);
    const auto side = [&](std::int32_t length) {
        return std::clamp(static_cast<std::int32_t>(std::lround(length * scale)), 1, box);
    };
    return {side(width), side(height)};
}

// Each target pixel is the mean of the whole source pixels whose index
// maps into it: every source pixel counts once, so the mean level is kept.
Thumbnail shrink(const Bytes& source, std::int32_t width, std::int32_t height, int channels,
                 Size target) {
    Thumbnail thumbnail;
    thumbnail.width = target.width;
    thumbnail.height = target.height;
    thumbnail.channels = channels;
    thumbnail.pixels.resize(static_cast<std::size_t>(target.width) * target.height * channels);
    std::vector<std::int32_t> columnOf(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> columnCount(static_cast<std::size_t>(target.width));
    for (std::int32_t x = 0; x < width; ++x) {
        columnOf[x] = static_cast<std::int32_t>(std::int64_t{x} * target.width / width);
        ++columnCount[columnOf[x]];
    }
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(target.width) * channels);
    std::int32_t y = 0;
    for (std::int32_t ty = 0; ty < target.height; ++ty) {
        std::fill(sums.begin(), sums.end(), 0);
        std::uint32_t rows = 0;
        for (; y < height && std::int64_t{y} * target.height / height == ty; ++y, ++rows) {
            const std::uint8_t* row =
                source.data() + static_cast<std::size_t>(y) * width * channels;
            for (std::int32_t x = 0; x < width; ++x) {
                for (int c = 0; c < channels; ++c) {
                    sums[static_cast<std::size_t>(columnOf[x]) * channels + c] +=
                        row[static_cast<std::size_t>(x) * channels + c];
                }
            }
        }
        std::uint8_t* out =
            thumbnail.pixels.data() + static_cast<std::size_t>(ty) * target.width * channels;
        for (std::int32_t tx = 0; tx < target.width; ++tx) {
            const std::uint64_t count = std::uint64_t{columnCount[tx]} * rows;
            for (int c = 0; c < channels; ++c) {
                const std::size_t at = static_cast<std::size_t>(tx) * channels + c;
                out[at] = static_cast<std::uint8_t>((sums[at] + count / 2) / count);
            }
        }
    }
    return thumbnail;
}

void turnClockwise(Thumbnail& thumbnail) {
    const std::size_t width = static_cast<std::size_t>(thumbnail.width);
    const std::size_t height = static_cast<std::size_t>(thumbnail.height);
    const std::size_t channels = static_cast<std::size_t>(thumbnail.channels);
    std::vector<std::uint8_t> turned(thumbnail.pixels.size());
    // Source row y becomes target column height - 1 - y.
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            std::copy_n(thumbnail.pixels.data() + (y * width + x) * channels, channels,
                        turned.data() + (x * height + height - 1 - y) * channels);
        }
    }
    thumbnail.pixels.swap(turned);
    std::swap(thumbnail.width, thumbnail.height);
}

}  // namespace

void turnThumbnail(Thumbnail& thumbnail, int turns) {
    for (int i = 0; i < (turns % 4 + 4) % 4; ++i) {
        turnClockwise(thumbnail);
    }
}

Thumbnail makeThumbnail(const std::uint8_t* data, std::size_t size,
                        const ThumbnailRequest& request, const DecodeReservation& reserve) {
    if (size == 0) {
        throw Error(ErrorReason::Damaged, "the file is empty");
    }
    Bytes pixels;
    Bytes scratch;
    GrayRaster raster(pixels, &scratch, request.color);
    const std::uint64_t beside = besideBytesPerPixel(data, size);
    const int channels = request.color ? 3 : 1;
    raster.setMemoryCheck([&](std::uint64_t rasterBytes, std::uint64_t decoderBytes) {
        reserve(2 * rasterBytes + decoderBytes + rasterBytes / channels * beside);
    });
    try {
        if (request.reducedJpeg && request.page == 0 && sniffJpeg(data, size)) {
            decodeJpegReduced(data, size, raster, request.box);
        } else {
            decodePicture(data, size, raster, request.page);
        }
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, "out of memory while decoding");
    }
    scratch = Bytes();
    Thumbnail thumbnail =
        shrink(pixels, raster.width(), raster.height(), raster.channels(),
               fitInBox(raster.width(), raster.height(), request.box));
    turnThumbnail(thumbnail, request.quarterTurns);
    return thumbnail;
}

}  // namespace folder2pdf
