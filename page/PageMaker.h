#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/Checked.h"
#include "image/Decoders.h"
#include "image/GrayImage.h"
#include "image/ImgToByte.h"
#include "image/JpegStructure.h"
#include "page/Compress.h"
#include "pdf/DocumentOptions.h"
#include "pdf/PreparedPage.h"

namespace folder2pdf {

// Compresses `raster` into `zipped` (whose memory is reused) with
// CompressBytes, through `compressor` when given; `raster` is kept. A zlib
// failure is an Error: OutOfMemory for Z_MEM_ERROR, TooLarge for any other
// code; CompressBytes' own Errors pass through.
void compressRaster(Bytes& raster, Bytes& zipped, CompressFunction compressor = nullptr);

class CompactEncoder;

// The step from a picture's file to its page: loads the picture, encodes
// its image stream as the document options ask and lays out its page,
// keeping its loader, raster and encoding buffers from picture to picture.
// One per thread.
class PageMaker {
  public:
    // Encodes pages as `options` ask (compression and JPEG quality). A
    // picture with a side past maxJpegSide can't be a JPEG: with
    // Compression::Jpeg its page is Flate, as by default.
    explicit PageMaker(const DocumentOptions& options = {});
    PageMaker(const PageMaker&) = delete;
    PageMaker& operator=(const PageMaker&) = delete;
    ~PageMaker();

    // Fills `page` (reusing its buffer) from page `index` (from 0; only
    // multi-page files have more than one) of the picture file at `path`,
    // turned clockwise by `quarterTurns` (0 to 3) after its own orientation:
    // the page is the turned picture's, its pixels turned losslessly, a JPEG
    // or Group 4 code kept as its bytes turned by its placement.
    // Throws Error naming the file, whatever failed: reading, decoding,
    // compressing or memory.
    void prepare(const std::string& path, std::size_t index, PreparedPage& page,
                 int quarterTurns = 0);

  private:
    void encode(PreparedPage& page);
    // With --color (not --jpeg): a JPEG file that readers show as the
    // decoder does becomes the page's stream as it is. False for any other file.
    bool keepJpeg(const Bytes& file, PreparedPage& page, int quarterTurns);
    // With --color (not --jpeg): page `index` of a TIFF file, decoded
    // already, that is one strip of Group 4 code becomes the page's stream
    // as it is. False for any other page.
    bool keepFax(const Bytes& file, std::size_t index, PreparedPage& page, int quarterTurns);
    // A page whose stored image is turned by `orientation` (EXIF's) on it.
    void layOutStored(PreparedPage& page, int orientation) const;
    // With --color (not --jpeg): the decoded picture in the fewest bits that
    // hold it, gray levels as gray and at most 256 colours as a palette.
    // False, nothing encoded, for a gray one that needs 8 bits or one of
    // more than 256 colours.
    bool encodeFewerBits(PreparedPage& page);

    ImgToByte loader_;
    JpegStructureReader jpegWalk_;
    GrayImage image_;
    GrayImage scaled_;  // the pixels scaled down, under a size limit
    Bytes turned_;      // where quarter turns go, traded with the image's raster
    FaxStrip fax_;
    Bytes indices_;  // a pixel's palette entry, one byte each
    Bytes levels_;
    Bytes packed_;  // the samples at fewer bits, rows padded to a byte
    DocumentOptions options_;
    std::unique_ptr<CompactEncoder> compact_;
};

}  // namespace folder2pdf
