#include "pdf/PreparedPage.h"

#include <zlib.h>

#include <new>
#include <utility>

#include "pdf/CompactEncoder.h"
#include "pdf/JpegEncoder.h"

namespace folder2pdf {

void compressRaster(Bytes& raster, Bytes& zipped, CompressFunction compressor) {
    const int result = CompressBytes(raster, zipped, compressor);
    if (result != Z_OK) {
        throw Error(result == Z_MEM_ERROR ? ErrorReason::OutOfMemory : ErrorReason::TooLarge,
                    "compression failed (zlib error " + std::to_string(result) + ")");
    }
    // CompressBytes leaves the stream in its first array and the raster in
    // the second: trading them back keeps each buffer to one use, so neither
    // grows to the other's size.
    std::swap(raster, zipped);
}

PagePreparer::PagePreparer(const DocumentOptions& options)
    : compression_(options.compression),
      jpegQuality_(options.jpegQuality),
      compact_(std::make_unique<CompactEncoder>()) {}

PagePreparer::~PagePreparer() = default;

void PagePreparer::encode(PreparedPage& page) {
    page.bitsPerComponent = 8;
    page.predicted = false;
    page.jpeg = compression_ == Compression::Jpeg && image_.Width <= maxJpegSide &&
                image_.Height <= maxJpegSide;
    if (page.jpeg) {
        encodeJpeg(image_, jpegQuality_, page.zipped);
    } else if (compression_ == Compression::Compact) {
        compact_->encode(image_, page);
    } else {
        compressRaster(image_.imgData, page.zipped);
    }
}

void PagePreparer::prepare(const std::string& path, PreparedPage& page) {
    try {
        page.path = path;
        loader_.load(path, image_);
        page.Width = image_.Width;
        page.Height = image_.Height;
        encode(page);
    } catch (const Error& error) {
        // The file system's errors name the file already.
        throw error.file().empty() ? error.withFile(path) : error;
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, path, "out of memory");
    }
}

}  // namespace folder2pdf
