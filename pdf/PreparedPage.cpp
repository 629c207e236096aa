#include "pdf/PreparedPage.h"

#include <zlib.h>

#include "pdf/Compress.h"

namespace folder2pdf {

void compressRaster(Bytes& raster, Bytes& scratch, const std::string& path,
                    CompressFunction compressor) {
    int result = Z_OK;
    try {
        result = CompressBytes(raster, scratch, compressor);
    } catch (const Error& error) {
        throw error.withFile(path);
    }
    if (result != Z_OK) {
        const ErrorKind kind = result == Z_MEM_ERROR ? ErrorKind::OutOfMemory : ErrorKind::Overflow;
        throw Error(kind, Error::reasonOf(kind), path,
                    "compression failed (zlib error " + std::to_string(result) + ")");
    }
}

void PagePreparer::prepare(const std::string& path, PreparedPage& page) {
    loader_.load(path, page.data);
    page.width = loader_.Width();
    page.height = loader_.Height();
    page.rawLength = checkedInt32(page.data.size());
    compressRaster(page.data, scratch_, path);
}

}  // namespace folder2pdf
