#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "image/Decoders.h"
#include "image/Gray.h"

namespace folder2pdf {
namespace {

Error statusError(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return Error(ErrorReason::OutOfMemory, "out of memory (decoding WebP)");
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return Error(ErrorReason::Damaged, "truncated WebP: the file ends inside the picture");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return Error(ErrorReason::Damaged, "WebP: a feature libwebp can't decode");
        default:  // a bitstream error; the parameters are ours and valid
            return Error(ErrorReason::Damaged, "WebP: the picture's data is damaged");
    }
}

void check(VP8StatusCode status) {
    if (status != VP8_STATUS_OK) {
        throw statusError(status);
    }
}

struct Features {
    std::int32_t width;
    std::int32_t height;
    bool alpha;
    bool animation;
};

Features featuresOf(const std::uint8_t* data, std::size_t size) {
    WebPBitstreamFeatures features;
    check(WebPGetFeatures(data, size, &features));
    return {features.width, features.height, features.has_alpha != 0, features.has_animation != 0};
}

// Decodes a still picture (a file, or one frame's chunks) of `size` pixels
// into `rgba`, 4 bytes a pixel, alpha as stored (not premultiplied).
void decodeRgba(const std::uint8_t* data, std::size_t size, const Features& picture, Bytes& rgba) {
    const auto width = static_cast<std::size_t>(picture.width);
    resizeBytes(rgba, 4 * width * static_cast<std::size_t>(picture.height));
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        throw Error(ErrorReason::Damaged, "WebP: libwebp of another version");
    }
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = rgba.data();
    config.output.u.RGBA.stride = static_cast<int>(4 * width);
    config.output.u.RGBA.size = rgba.size();
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    check(status);
}

// One row of `count` RGBA pixels over white paper, in place (RGBX).
void composeRow(std::uint8_t* rgba, std::int32_t count) {
    for (std::size_t x = 0; x < static_cast<std::size_t>(count); ++x) {
        const std::uint8_t alpha = rgba[4 * x + 3];
        for (int c = 0; c < 3; ++c) {
            rgba[4 * x + c] = overWhite(rgba[4 * x + c], alpha);
        }
    }
}

void decodeStill(const std::uint8_t* data, std::size_t size, const Features& picture,
                 GrayRaster& out) {
    out.begin(picture.width, picture.height);
    Bytes& rgba = out.scratch();
    decodeRgba(data, size, picture, rgba);
    const std::size_t stride = 4 * static_cast<std::size_t>(picture.width);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::uint8_t* row = rgba.data() + static_cast<std::size_t>(y) * stride;
        if (picture.alpha) {
            composeRow(row, picture.width);
        }
        out.putRgbxRow(y, row);
    }
}

struct DemuxDelete {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

// The first frame of an animation as the animation starts: on a canvas that
// is transparent, so white paper, around it. Later frames are left out as a
// GIF's are.
void decodeFirstFrame(const std::uint8_t* data, std::size_t size, const Features& canvas,
                      GrayRaster& out) {
    const WebPData whole = {data, size};
    const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&whole));
    if (!demux) {
        throw Error(ErrorReason::Damaged, "WebP: the animation's chunks are damaged or cut short");
    }
    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) {
        throw Error(ErrorReason::Damaged, "WebP: an animation without frames");
    }
    struct Release {
        WebPIterator& frame;
        ~Release() { WebPDemuxReleaseIterator(&frame); }
    } release{frame};
    const Features picture = featuresOf(frame.fragment.bytes, frame.fragment.size);
    // The demuxer keeps frames inside the canvas; clipped all the same.
    const std::int32_t left = std::min(frame.x_offset, canvas.width);
    const std::int32_t top = std::min(frame.y_offset, canvas.height);
    const std::int32_t columns = std::min(picture.width, canvas.width - left);
    const std::int32_t rows = std::min(picture.height, canvas.height - top);

    out.begin(canvas.width, canvas.height);
    Bytes& rgba = out.scratch();
    decodeRgba(frame.fragment.bytes, frame.fragment.size, picture, rgba);
    const std::size_t stride = 4 * static_cast<std::size_t>(picture.width);
    const bool color = out.keepsColor();
    Bytes line;  // kept in colour: a canvas row, RGBX
    resizeBytes(line, color ? 4 * static_cast<std::size_t>(canvas.width) : 0);
    for (std::int32_t y = 0; y < canvas.height; ++y) {
        std::uint8_t* target = color ? line.data() : out.row(y);
        std::memset(target, 255, color ? line.size() : static_cast<std::size_t>(canvas.width));
        if (y >= top && y < top + rows && columns > 0) {
            std::uint8_t* row = rgba.data() + static_cast<std::size_t>(y - top) * stride;
            composeRow(row, columns);
            if (color) {
                std::memcpy(target + 4 * static_cast<std::size_t>(left), row,
                            4 * static_cast<std::size_t>(columns));
            } else {
                rgbxRowToGray(row, target + left, columns);
            }
        }
        if (color) {
            out.putRgbxRow(y, line.data());
        }
    }
}

}  // namespace

bool sniffWebp(const std::uint8_t* data, std::size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

void decodeWebp(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    const Features picture = featuresOf(data, size);
    GrayRaster::checkSize(picture.width, picture.height);
    if (picture.animation) {
        decodeFirstFrame(data, size, picture, out);
    } else {
        decodeStill(data, size, picture, out);
    }
}

}  // namespace folder2pdf
