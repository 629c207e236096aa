#pragma once

#include <cstdint>
#include <string>

#include "common/Checked.h"
#include "image/GrayImage.h"
#include "image/ImgToByte.h"
#include "pdf/Compress.h"

namespace folder2pdf {

// One picture made ready to become a page: the file it came from, the size
// of its GrayImage and that image's raster compressed. Making it needs no
// document, so pictures can be prepared on worker threads while the writer
// appends earlier pages in order.
struct PreparedPage {
    std::string path;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    Bytes zipped;  // the zlib stream of the Width x Height gray bytes
};

// Compresses `raster` into `zipped` (whose memory is reused) with
// CompressBytes, through `compressor` when given; `raster` is kept. A zlib
// failure is an Error: OutOfMemory for Z_MEM_ERROR, TooLarge for any other
// code; CompressBytes' own Errors pass through.
void compressRaster(Bytes& raster, Bytes& zipped, CompressFunction compressor = nullptr);

// Loads and compresses pictures, keeping its loader and raster from picture
// to picture. One per thread.
class PagePreparer {
  public:
    // Fills `page` (reusing its buffer) from the picture file at `path`.
    // Throws Error naming the file, whatever failed: reading, decoding,
    // compressing or memory.
    void prepare(const std::string& path, PreparedPage& page);

  private:
    ImgToByte loader_;
    GrayImage image_;
};

}  // namespace folder2pdf
