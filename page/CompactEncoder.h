#pragma once

#include "image/GrayImage.h"
#include "pdf/PreparedPage.h"

namespace folder2pdf {

// The lossless compaction of a page (Compression::Compact): the smaller of
// plain Flate, as the default page has it, and Flate after PNG predictors
// (a filter chosen for each row by the least sum of absolute differences);
// and before that, 1, 2 or 4 bits per pixel when every level the picture
// uses is one such an image can hold exactly (0 and 255; 0, 85, 170 and
// 255; multiples of 17). Every page decodes to exactly the raster.
//
// The filtered rows are compressed with run-length matches only, several
// times faster than zlib's default, and the plain rows at zlib's default,
// as the default page. A sample of rows (one block in 16) compressed both
// ways chooses; only when neither way is 5% smaller there is the whole page
// compressed both ways. One per thread; its buffers are kept from picture
// to picture.
class CompactEncoder {
  public:
    // Fills page.stream and the fields that describe its encoding from
    // `image`, which is kept. Throws Error on a zlib failure (as compressRaster).
    void encode(const GrayImage& image, PreparedPage& page);
    // The same for rows already packed, one component a pixel at
    // page.bitsPerComponent, each row padded to a byte: page.stream and
    // page.kind are filled, the rest of the page is the caller's.
    void encodePacked(const Bytes& rows, std::int32_t height, PreparedPage& page);

  private:
    void compressRows(const Bytes& source, std::int32_t height, int bytesPerPixel,
                      PreparedPage& page);

    Bytes packed_;    // the raster at fewer bits per pixel, rows padded to a byte
    Bytes filtered_;  // the rows, each after its PNG filter type byte
    Bytes zeros_;     // the row above the first
    Bytes sample_;
    Bytes zipped_;
};

// The fewest bits per pixel (1, 2, 4 or 8) that hold every level of
// `raster` exactly.
int levelBits(const Bytes& raster);

}  // namespace folder2pdf
