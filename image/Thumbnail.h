#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace folder2pdf {

// A small picture of a page as it will come out: upright by EXIF, turned
// as the user turned it, gray by the program's rule unless the document
// keeps colour. Rows from the top, each left to right, `channels` bytes a
// pixel (1 gray, 3 R, G, B). A picture that can't be read gives a
// thumbnail with no pixels and the reason in `error`.
struct Thumbnail {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int channels = 1;
    std::vector<std::uint8_t> pixels;
    std::string error;

    bool failed() const { return !error.empty(); }
};

// What to make of a picture file's bytes.
struct ThumbnailRequest {
    std::size_t page = 0;     // which picture of the file (a TIFF's page), from 0
    std::int32_t box = 96;    // the side of the square the thumbnail fits in
    int quarterTurns = 0;     // clockwise, after EXIF's; any integer, taken modulo 4
    bool color = false;       // keep colour, as the document's colour mode does
    bool reducedJpeg = true;  // JPEG through libjpeg's scaled decoding; off only to compare
};

// Told, before the decoder allocates its picture, how many bytes the decode
// will hold beside the file's own: the raster and an estimate of what the
// format's decoder keeps of its own (a WebP's or TIFF's whole picture in
// RGBA, a progressive JPEG's coefficients). Throws to refuse the picture.
using DecodeReservation = std::function<void(std::uint64_t bytes)>;

// Decodes picture `request.page` of the file's bytes and shrinks it to fit
// the box, keeping its aspect (never enlarged): a JPEG reduced by libjpeg
// to the smallest of 1/1 to 1/8 still at least the box, every other
// format at full size, then averaged over whole source pixels. Throws
// Error as the decoders do (the reason only, for the caller to name the
// file), or what `reserve` throws.
Thumbnail makeThumbnail(const std::uint8_t* data, std::size_t size,
                        const ThumbnailRequest& request, const DecodeReservation& reserve);

// The pixels turned a quarter clockwise `turns` times (modulo 4).
void turnThumbnail(Thumbnail& thumbnail, int turns);

}  // namespace folder2pdf
