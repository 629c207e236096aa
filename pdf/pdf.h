#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Checked.h"
#include "pdf/AtomicFile.h"
#include "pdf/DocumentOptions.h"
#include "pdf/DocumentWriter.h"
#include "pdf/PreparedPage.h"

namespace folder2pdf {

// The document writer: writes one PDF 1.4 document, one page per picture,
// straight to its file as the pages come. Usage: create it for the file it
// is to replace, pageOBJ() any number of times with pages prepared by
// PageMaker, makePDF() once, then drop the writer.
//
// The file's layout is fixed to the byte: a header, a binary comment line,
// the catalog (object 1, at offset 17), the empty outline tree (object 2, at
// offset 85), then three objects per page (page k is objects 3k+1..3k+3 while no
// page before it has an ICC profile, which is a fourth object after its image),
// then the page tree (object 3, written last), the cross-reference table and
// the trailer. Every line ends with CR LF. With a title or bookmarks
// (DocumentOptions), objects 1 and 2 are written at the end instead, after
// the page tree: the outline entries (one per page, in page order), the
// outline root, the document information (the title) and the catalog, the
// cross-reference table giving each its offset there.
//
// The pages go, through a write buffer of a fixed size, to a temporary file
// beside the target (AtomicFile), which makePDF() puts in the target's
// place; the writer keeps only the objects' offsets and the page list, so
// its memory does not grow with the document. A writer dropped before
// makePDF() has finished leaves the target as it was and no temporary file.
//
// Every failure throws Error; the writer is then abandoned. The
// cross-reference table gives offsets in ten digits, so a document can't
// pass 9,999,999,999 bytes: growth beyond that is a TooLarge error naming the
// document, raised before anything past the limit is written.
class pdf : public DocumentWriter {
  public:
    // Starts the document that will replace the file at `path` (or create
    // it): makes the temporary file beside it and writes the header and
    // objects 1 and 2. The path is fixed here because the pages go to disk
    // as they come; a file that can't be made there fails here.
    // `options` give the title and bookmarks; pages come laid out and
    // encoded as their PreparedPage says.
    explicit pdf(const std::string& path, const DocumentOptions& options = {});
    pdf(const pdf&) = delete;
    pdf& operator=(const pdf&) = delete;
    ~pdf() override;

    // Appends the prepared picture as one page, its box, placement and image
    // stream as the page value gives them.
    void pageOBJ(const PreparedPage& page) override;

    // Finishes the document and puts it in place of the file given at
    // creation, whole. When this fails, an earlier file there stays exactly
    // as it was and no temporary file remains; except that when another
    // program holds that file (InUse, Windows) the finished document is
    // kept, and calling makePDF() again only tries the replace again.
    void makePDF() override;
    std::int64_t size() const override { return pdfLen; }

    // The largest document the cross-reference table can describe.
    static constexpr std::int64_t maxDocumentBytes = 9'999'999'999;
    // Bytes the write buffer holds before they go to the file.
    static constexpr std::size_t writeBufferBytes = 4u << 20;

  private:
    friend struct PdfTestPeer;

    void addBytes(const std::uint8_t* bytes, std::int32_t n);
    void addLine(const std::string& text);
    void beginOBJ();
    void addOBJ(const std::string& text);
    // The three objects of page pageCount: the page, its content stream and
    // the image, the W x H picture encoded as `page` says.
    void writePage(const PreparedPage& page);
    // The image object's dictionary for the page's encoding.
    std::string imageDictionary(std::int32_t k, const PreparedPage& page);
    // Objects 1 and 2 and what they refer to, at the end (title or bookmarks).
    void writeOutlineAndCatalog();
    // Hands what the write buffer holds to the file.
    void flushBuffer();

    DocumentOptions options_;
    bool catalogAtEnd_ = false;
    bool finished_ = false;  // every byte handed to the file
    std::vector<std::string> pageTitles_;  // as text strings, with bookmarks
    std::vector<std::int32_t> pageObjects_;  // the pages' object numbers, with bookmarks
    std::int32_t infoObject_ = 0;          // the document information, with a title

    // Members in the order the document's design lists them.
    AtomicFile file_;
    Bytes contentData;
    std::int32_t pageCount = 0;
    std::int32_t rawLen = 0;
    std::int32_t zipLen = 0;
    std::vector<std::int64_t> objOffset;
    std::int32_t objCount = 0;
    std::string kids;
    // Bytes of the document so far, written or buffered: the offset at
    // which the next byte will stand.
    std::int64_t pdfLen = 0;

    // The write buffer; memory is touched only as far as it is filled.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t buffered_ = 0;
    std::size_t bufferCapacity_ = writeBufferBytes;
};

// A new pdf writer for the document at `path`, as the folder job makes one
// for each run.
std::unique_ptr<DocumentWriter> newPdfWriter(const std::string& path,
                                             const DocumentOptions& options = {});

}  // namespace folder2pdf
