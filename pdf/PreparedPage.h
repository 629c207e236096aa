#pragma once

#include <cstdint>
#include <string>

#include "common/Checked.h"
#include "image/ImgToByte.h"
#include "pdf/Compress.h"

namespace folder2pdf {

// One picture made ready to become a page: its size and its gray raster
// compressed. Making it needs no document, so pictures can be prepared on
// worker threads while the writer appends earlier pages in order.
struct PreparedPage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rawLength = 0;  // width x height, the raster's bytes before compression
    Bytes data;                  // the raster's zlib stream
};

// Compresses a picture's raster in place with CompressBytes (through
// `compressor` when given); a zlib failure, or an Error of CompressBytes,
// becomes an Error naming the picture.
void compressRaster(Bytes& raster, Bytes& scratch, const std::string& path,
                    CompressFunction compressor = nullptr);

// Loads and compresses pictures, keeping its loader and buffers from
// picture to picture. One per thread.
class PagePreparer {
  public:
    // Fills `page` (reusing its buffer) from the picture file at `path`;
    // throws the loader's Error on failure.
    void prepare(const std::string& path, PreparedPage& page);

  private:
    ImgToByte loader_;
    Bytes scratch_;
};

}  // namespace folder2pdf
