#include "page/Resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace folder2pdf {
namespace {

// Where each new cell starts among `from` old ones, for `to` cells: the
// boundaries i * from / to, so that every old pixel falls in one cell.
std::vector<std::int32_t> cellStarts(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> starts(static_cast<std::size_t>(to) + 1);
    for (std::int32_t i = 0; i <= to; ++i) {
        starts[static_cast<std::size_t>(i)] =
            static_cast<std::int32_t>(std::int64_t{i} * from / to);
    }
    return starts;
}

}  // namespace

const GrayImage& scaledDown(const GrayImage& image, double scale, GrayImage& out) {
    const auto side = [scale](std::int32_t n) {
        return std::clamp(static_cast<std::int32_t>(std::lround(n * scale)), 1, n);
    };
    const auto channels = static_cast<std::int32_t>(image.channels);
    out.Width = side(image.Width);
    out.Height = side(image.Height);
    out.channels = image.channels;
    out.imgData.resize(static_cast<std::size_t>(out.Width) * static_cast<std::size_t>(out.Height) *
                       static_cast<std::size_t>(channels));
    const std::vector<std::int32_t> xs = cellStarts(image.Width, out.Width);
    const std::vector<std::int32_t> ys = cellStarts(image.Height, out.Height);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(out.Width * channels));
    for (std::int32_t y = 0; y < out.Height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const std::int32_t top = ys[static_cast<std::size_t>(y)];
        const std::int32_t bottom = ys[static_cast<std::size_t>(y) + 1];
        for (std::int32_t row = top; row < bottom; ++row) {
            const std::uint8_t* in = image.imgData.data() +
                                     static_cast<std::size_t>(row) * image.Width * channels;
            for (std::int32_t x = 0; x < out.Width; ++x) {
                for (std::int32_t c = 0; c < channels; ++c) {
                    std::uint32_t sum = 0;
                    for (std::int32_t k = xs[static_cast<std::size_t>(x)];
                         k < xs[static_cast<std::size_t>(x) + 1]; ++k) {
                        sum += in[k * channels + c];
                    }
                    sums[static_cast<std::size_t>(x * channels + c)] += sum;
                }
            }
        }
        std::uint8_t* row =
            out.imgData.data() + static_cast<std::size_t>(y) * out.Width * channels;
        for (std::int32_t x = 0; x < out.Width; ++x) {
            const std::uint32_t count = static_cast<std::uint32_t>(
                (xs[static_cast<std::size_t>(x) + 1] - xs[static_cast<std::size_t>(x)]) *
                (bottom - top));
            for (std::int32_t c = 0; c < channels; ++c) {
                const std::uint32_t sum = sums[static_cast<std::size_t>(x * channels + c)];
                row[x * channels + c] = static_cast<std::uint8_t>((sum + count / 2) / count);
            }
        }
    }
    return out;
}

}  // namespace folder2pdf
