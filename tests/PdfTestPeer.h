#pragma once

#include <string>

#include "pdf/pdf.h"

namespace folder2pdf {

// Reaches the writer's private operations, so that the document's layout
// can be checked without decoding picture files.
struct PdfTestPeer {
    static void addBytes(pdf& writer, std::int32_t n) {
        const std::string bytes(static_cast<std::size_t>(n), 'x');
        writer.addBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), n);
    }
    // A page for a W x H raster, as pageOBJ adds it after a successful load.
    static void addRaster(pdf& writer, std::int32_t W, std::int32_t H, const Bytes& raster) {
        PreparedPage page;
        page.width = W;
        page.height = H;
        page.rawLength = checkedInt32(raster.size());
        page.data = raster;
        Bytes scratch;
        compressRaster(page.data, scratch, "raster");
        writer.appendPage(page);
    }
    static std::int32_t compressedLength(const pdf& writer) { return writer.zipLen; }
};

}  // namespace folder2pdf
