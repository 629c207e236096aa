#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/Checked.h"
#include "image/GrayImage.h"
#include "image/ImgToByte.h"
#include "pdf/Compress.h"
#include "pdf/DocumentOptions.h"

namespace folder2pdf {

// One picture made ready to become a page: the file it came from, the size
// of its GrayImage and that image's raster encoded. Making it needs no
// document, so pictures can be prepared on worker threads while the writer
// appends earlier pages in order.
struct PreparedPage {
    std::string path;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    // The image stream: by default the zlib stream of the Width x Height
    // gray bytes; the fields below say when it is encoded otherwise.
    Bytes zipped;
    // Bits per pixel of the rows zlib holds (1, 2 or 4 when the picture's
    // levels allow: Compression::Compact), rows padded to a byte.
    std::int32_t bitsPerComponent = 8;
    // Each row zlib holds starts with its PNG filter type (predictor 15).
    bool predicted = false;
    // A JPEG instead of a zlib stream (Compression::Jpeg).
    bool jpeg = false;
};

// Compresses `raster` into `zipped` (whose memory is reused) with
// CompressBytes, through `compressor` when given; `raster` is kept. A zlib
// failure is an Error: OutOfMemory for Z_MEM_ERROR, TooLarge for any other
// code; CompressBytes' own Errors pass through.
void compressRaster(Bytes& raster, Bytes& zipped, CompressFunction compressor = nullptr);

class CompactEncoder;

// Loads and compresses pictures, keeping its loader, raster and encoding
// buffers from picture to picture. One per thread.
class PagePreparer {
  public:
    // Encodes pages as `options` ask (compression and JPEG quality). A
    // picture with a side past maxJpegSide can't be a JPEG: with
    // Compression::Jpeg its page is Flate, as by default.
    explicit PagePreparer(const DocumentOptions& options = {});
    PagePreparer(const PagePreparer&) = delete;
    PagePreparer& operator=(const PagePreparer&) = delete;
    ~PagePreparer();

    // Fills `page` (reusing its buffer) from the picture file at `path`.
    // Throws Error naming the file, whatever failed: reading, decoding,
    // compressing or memory.
    void prepare(const std::string& path, PreparedPage& page);

  private:
    void encode(PreparedPage& page);

    ImgToByte loader_;
    GrayImage image_;
    Compression compression_;
    int jpegQuality_;
    std::unique_ptr<CompactEncoder> compact_;
};

}  // namespace folder2pdf
