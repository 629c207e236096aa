#include "pdf/pdf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pdf/AtomicFile.h"
#include "pdf/PreparedPage.h"

namespace folder2pdf {
namespace {

constexpr std::int32_t growthStep = 204800;

std::string str(std::int32_t n) {
    return std::to_string(n);
}

}  // namespace

void pdf::FreeDeleter::operator()(std::uint8_t* p) const {
    std::free(p);
}

pdf::pdf() {
    loader = std::make_unique<PagePreparer>();
    objCount = 0;
    objOffset.assign(1, 0);
    kids = " ";
    pdfSize = growthStep;
    pdfLen = 0;
    capacity_ = growthStep;
    pdfData.reset(static_cast<std::uint8_t*>(std::malloc(capacity_)));
    if (!pdfData) {
        throw Error(ErrorKind::OutOfMemory, "out of memory for a new document");
    }
    addLine("%PDF-1.4");
    // A comment of four bytes above 127 right after the header tells file
    // transfer tools that the file is binary.
    static const std::uint8_t binaryComment[7] = {37, 226, 227, 207, 211, 13, 10};
    std::memcpy(pdfData.get() + pdfLen, binaryComment, sizeof binaryComment);
    pdfLen += 7;
    addOBJ("<< /Type /Catalog /Pages 3 0 R /Outlines 2 0 R >>");
    addOBJ("<< /Type /Outlines /Count 0 >>");
    // Object 3, the page tree, is referred to by the catalog and by every
    // page, but it can only be written once all pages are known.
    objCount = checkedAdd(objCount, 1);
    objOffset.resize(static_cast<std::size_t>(objCount) + 1, 0);
}

pdf::~pdf() = default;

void pdf::addBytes(const std::uint8_t* bytes, std::int32_t n) {
    while (pdfSize - pdfLen < n) {
        pdfSize = checkedAdd(pdfSize, growthStep);
    }
    const auto needed = static_cast<std::size_t>(pdfSize);
    if (needed > capacity_) {
        const std::size_t grown = std::max(needed, capacity_ * 2);
        auto* moved = static_cast<std::uint8_t*>(std::realloc(pdfData.get(), grown));
        if (moved == nullptr) {
            throw Error(ErrorKind::OutOfMemory,
                        "out of memory for a document of " + std::to_string(grown) + " bytes");
        }
        pdfData.release();
        pdfData.reset(moved);
        capacity_ = grown;
    }
    std::memcpy(pdfData.get() + pdfLen, bytes, static_cast<std::size_t>(n));
    pdfLen = checkedAdd(pdfLen, n);
}

void pdf::addLine(const std::string& text) {
    std::string line = text;
    line += "\r\n";
    addBytes(reinterpret_cast<const std::uint8_t*>(line.data()), checkedInt32(line.size()));
}

void pdf::beginOBJ() {
    objCount = checkedAdd(objCount, 1);
    objOffset.push_back(pdfLen);
    addLine(str(objCount) + " 0 obj");
}

void pdf::addOBJ(const std::string& text) {
    beginOBJ();
    addLine(text);
    addLine("endobj");
}

void pdf::pageOBJ(const std::string& path) {
    loader->prepare(path, picData);
    appendPage(picData);
}

void pdf::appendPage(const PreparedPage& page) {
    pageCount = checkedAdd(pageCount, 1);
    writePage(page.width, page.height, page.rawLength, page.data);
}

void pdf::writePage(std::int32_t W, std::int32_t H, std::int32_t rasterLength,
                    const Bytes& zipped) {
    const std::int32_t k = pageCount;
    beginOBJ();
    const std::int32_t N = objCount;
    addLine("<< /Type /Page /Parent 3 0 R /Resources << /XObject << /Im" + str(k) + " " +
            str(checkedAdd(N, 2)) + " 0 R >> /ProcSet [/ImageI] >> /MediaBox [0 0 " + str(W) + " " +
            str(H) + "] /Contents " + str(checkedAdd(N, 1)) + " 0 R >>");
    addLine("endobj");
    kids += str(N) + " 0 R ";

    const std::string content = "q " + str(W) + " 0 0 " + str(H) + " 0 0 cm /Im" + str(k) + " Do Q";
    contentData.assign(content.begin(), content.end());
    rawLen = checkedInt32(contentData.size());
    beginOBJ();
    addLine("<< /Length " + str(rawLen) + " >>");
    addLine("stream");
    addBytes(contentData.data(), rawLen);
    addLine("\r\nendstream");
    addLine("endobj");

    rawLen = rasterLength;
    zipLen = checkedInt32(zipped.size());
    beginOBJ();
    addLine("<< /Type /XObject /Subtype /Image /Name /Im" + str(k) + " /Width " + str(W) +
            " /Height " + str(H) +
            " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter [/FlateDecode] /Length " +
            str(zipLen) + " /Length1 " + str(rawLen) + " >>");
    addLine("stream");
    addBytes(zipped.data(), zipLen);
    addLine("\r\nendstream");
    addLine("endobj");
}

void pdf::makePDF(const std::string& path) {
    objOffset[3] = pdfLen;
    addLine("3 0 obj");
    addLine("<< /Type /Pages /Count " + str(pageCount) + " /Kids [" + kids + "] >>");
    addLine("endobj");

    objCount = checkedAdd(objCount, 1);
    objOffset.push_back(pdfLen);
    addLine("xref");
    addLine("0 " + str(objCount));
    addLine("0000000000 65535 f");
    for (std::int32_t i = 1; i < objCount; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010d 00000 n", objOffset[static_cast<std::size_t>(i)]);
        addLine(entry);
    }
    addLine("trailer << /Size " + str(objCount) + " /Root 1 0 R >>");
    addLine("startxref");
    addLine(str(objOffset[static_cast<std::size_t>(objCount)]));
    addLine("%%EOF");

    replaceFileAtomically(path, pdfData.get(), static_cast<std::size_t>(pdfLen));
}

}  // namespace folder2pdf
