#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "page/PageMaker.h"
#include "pdf/PageLayout.h"
#include "pdf/pdf.h"

namespace folder2pdf {

// Reaches the writer's private state, so that the document's layout can be
// checked without decoding picture files.
struct PdfTestPeer {
    static void addBytes(pdf& writer, std::int32_t n) {
        const std::string bytes(static_cast<std::size_t>(n), 'x');
        writer.addBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), n);
    }
    // A page for a W x H raster, as pageOBJ adds a prepared picture.
    static void addRaster(pdf& writer, std::int32_t W, std::int32_t H, Bytes raster) {
        PreparedPage page;
        page.path = "raster";
        page.Width = W;
        page.Height = H;
        page.layout = layOutPage(writer.options_, W, H);
        compressRaster(raster, page.stream);
        writer.pageOBJ(page);
    }
    // Counts `n` bytes more as written without writing them, so that a test
    // reaches the offsets of a document of gigabytes at no cost; the file
    // then lacks them.
    static void skip(pdf& writer, std::int64_t n) { writer.pdfLen += n; }
    // Sends the document to its file in pieces of at most `n` bytes, from a
    // buffer of just that size followed by a guard of zeros, which
    // bufferOverrun() finds changed when the writer buffered past the end.
    static constexpr std::size_t guardBytes = 4096;
    static void limitBuffer(pdf& writer, std::size_t n) {
        writer.flushBuffer();
        writer.buffer_ = std::make_unique<std::uint8_t[]>(n + guardBytes);
        writer.bufferCapacity_ = n;
    }
    static bool bufferOverrun(const pdf& writer) {
        const std::uint8_t* guard = writer.buffer_.get() + writer.bufferCapacity_;
        return std::any_of(guard, guard + guardBytes, [](std::uint8_t b) { return b != 0; });
    }
    static std::int64_t length(const pdf& writer) { return writer.pdfLen; }
    static std::int32_t objects(const pdf& writer) { return writer.objCount; }
    static const std::vector<std::int64_t>& offsets(const pdf& writer) { return writer.objOffset; }
};

}  // namespace folder2pdf
