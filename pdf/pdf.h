#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Checked.h"
#include "pdf/PreparedPage.h"

namespace folder2pdf {

// The document writer: builds one PDF 1.4 document in memory, one page per
// picture, and writes it to disk in one piece. Usage: create, pageOBJ() any
// number of times, makePDF() once, then drop the writer.
//
// The file's layout is fixed to the byte: a header, a binary comment line,
// the catalog (object 1, at offset 17), the empty outline tree (object 2, at
// offset 85), then three objects per page (page k is objects 3k+1..3k+3),
// then the page tree (object 3, written last), the cross-reference table and
// the trailer. Every line ends with CR LF.
//
// Every failure throws Error; the writer is then abandoned. Counts are
// signed 32-bit, so a document can't pass 2 GiB: such growth is an Overflow.
class pdf {
  public:
    pdf();
    pdf(const pdf&) = delete;
    pdf& operator=(const pdf&) = delete;
    ~pdf();

    // Appends the picture file at `path` as one page exactly as large, in
    // points, as the picture is in pixels, filled by the picture as an 8-bit
    // gray image compressed with Flate. The picture is prepared as
    // PagePreparer prepares it for appendPage(), so both make the same page.
    // A picture that fails to load leaves no object of its page in the
    // document.
    void pageOBJ(const std::string& path);

    // Appends a page prepared elsewhere (PagePreparer), as the next page:
    // the same three objects, byte for byte, as pageOBJ writes for the same
    // picture.
    void appendPage(const PreparedPage& page);

    // Finishes the document and replaces the file at `path` with it whole
    // (or creates it). When the write fails, an earlier file at `path` stays
    // exactly as it was and no temporary file remains.
    void makePDF(const std::string& path);

    // Read access for tests and tools.
    std::int32_t pages() const { return pageCount; }
    std::int32_t bufferSize() const { return pdfSize; }
    std::int32_t bufferLength() const { return pdfLen; }
    std::int32_t objects() const { return objCount; }
    const std::vector<std::int32_t>& offsets() const { return objOffset; }
    const std::uint8_t* document() const { return pdfData.get(); }

  private:
    friend struct PdfTestPeer;

    struct FreeDeleter {
        void operator()(std::uint8_t* p) const;
    };

    void addBytes(const std::uint8_t* bytes, std::int32_t n);
    void addLine(const std::string& text);
    void beginOBJ();
    void addOBJ(const std::string& text);
    // The three objects of page pageCount: the page, its content stream and
    // the image, whose W x H raster of rasterLength bytes compressed to `zipped`.
    void writePage(std::int32_t W, std::int32_t H, std::int32_t rasterLength, const Bytes& zipped);

    // Members in the order the document's design lists them.
    std::unique_ptr<std::uint8_t[], FreeDeleter> pdfData;
    PreparedPage picData;
    Bytes contentData;
    std::int32_t pageCount = 0;
    std::int32_t rawLen = 0;
    std::int32_t zipLen = 0;
    std::vector<std::int32_t> objOffset;
    std::int32_t objCount = 0;
    std::string kids;
    std::unique_ptr<PagePreparer> loader;
    std::int32_t pdfSize = 0;
    std::int32_t pdfLen = 0;

    // pdfSize is the buffer's size as the document's rules count it, growing
    // in steps of 204800 bytes. The memory behind it grows geometrically, so
    // that appending costs time in proportion to the bytes appended.
    std::size_t capacity_ = 0;
};

}  // namespace folder2pdf
