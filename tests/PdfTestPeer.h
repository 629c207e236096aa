#pragma once

#include <string>
#include <utility>

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
    static void addRaster(pdf& writer, std::int32_t W, std::int32_t H, Bytes raster) {
        PreparedPage page{W, H, checkedInt32(raster.size()), std::move(raster)};
        Bytes scratch;
        compressRaster(page.data, scratch, "raster");
        writer.appendPage(page);
    }
    // Moves the document `n` bytes on without writing them (a hole in the
    // file), so that a test reaches sizes of gigabytes at no cost.
    static void skip(pdf& writer, std::int64_t n) {
        writer.flushBuffer();
        writer.file_.skip(static_cast<std::uint64_t>(n));
        writer.pdfLen += n;
    }
    // Sends the document to its file in pieces of at most `n` bytes, from a
    // buffer of just that size, so that writing past it is caught.
    static void limitBuffer(pdf& writer, std::size_t n) {
        writer.flushBuffer();
        writer.buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(n);
        writer.bufferCapacity_ = n;
    }
};

}  // namespace folder2pdf
