#include "pdf/pdf.h"

#include <cstdio>
#include <cstring>

#include "pdf/TextString.h"

namespace folder2pdf {
namespace {

std::string str(std::int32_t n) {
    return std::to_string(n);
}

// An indexed image's palette entries count as one component each.
int componentsOf(ColorKind color) {
    return color == ColorKind::Rgb ? 3 : color == ColorKind::Cmyk ? 4 : 1;
}

const char* deviceSpace(ColorKind color) {
    return color == ColorKind::Rgb    ? "/DeviceRGB"
           : color == ColorKind::Cmyk ? "/DeviceCMYK"
                                      : "/DeviceGray";
}

constexpr char hexDigits[] = "0123456789ABCDEF";

// [/Indexed /DeviceRGB hival <entries>], the palette in hexadecimal.
std::string indexedSpace(const Bytes& palette) {
    std::string space = "[/Indexed /DeviceRGB " + str(checkedInt32(palette.size() / 3) - 1) + " <";
    for (const std::uint8_t byte : palette) {
        space += hexDigits[byte >> 4];
        space += hexDigits[byte & 15];
    }
    return space + ">]";
}

}  // namespace

pdf::pdf(const std::string& path, const DocumentOptions& options)
    : options_(options), catalogAtEnd_(!options.title.empty() || options.bookmarks), file_(path) {
    objCount = 0;
    objOffset.assign(1, 0);
    kids = " ";
    pdfLen = 0;
    buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(writeBufferBytes);
    addLine("%PDF-1.4");
    // A comment of four bytes above 127 right after the header tells file
    // transfer tools that the file is binary.
    static const std::uint8_t binaryComment[7] = {37, 226, 227, 207, 211, 13, 10};
    addBytes(binaryComment, 7);
    if (catalogAtEnd_) {
        // Their content is known only at the end; their offsets are patched then.
        objCount = 2;
        objOffset.resize(3, 0);
    } else {
        addOBJ("<< /Type /Catalog /Pages 3 0 R /Outlines 2 0 R >>");
        addOBJ("<< /Type /Outlines /Count 0 >>");
    }
    // Object 3, the page tree, is referred to by the catalog and by every
    // page, but it can only be written once all pages are known.
    objCount = checkedAdd(objCount, 1);
    objOffset.resize(static_cast<std::size_t>(objCount) + 1, 0);
}

pdf::~pdf() = default;

void pdf::addBytes(const std::uint8_t* bytes, std::int32_t n) {
    if (n > maxDocumentBytes - pdfLen) {
        throw Error(ErrorReason::TooLarge,
                    file_.path() +
                        ": the document would pass 9,999,999,999 bytes, the most "
                        "its cross-reference table can describe");
    }
    const auto size = static_cast<std::size_t>(n);
    if (size > bufferCapacity_ - buffered_) {
        flushBuffer();
    }
    // A block larger than the whole buffer, a page's image mostly, goes to
    // the file as it is rather than through the buffer in pieces.
    if (size > bufferCapacity_) {
        file_.write(bytes, size);
    } else {
        std::memcpy(buffer_.get() + buffered_, bytes, size);
        buffered_ += size;
    }
    pdfLen += n;
}

void pdf::flushBuffer() {
    file_.write(buffer_.get(), buffered_);
    buffered_ = 0;
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

void pdf::pageOBJ(const PreparedPage& page) {
    pageCount = checkedAdd(pageCount, 1);
    if (options_.bookmarks) {
        pageTitles_.push_back(pdfTextString(pageTitle(page.path)));
    }
    if (options_.bookmarks) {
        pageObjects_.push_back(checkedAdd(objCount, 1));
    }
    writePage(page);
}

void pdf::writePage(const PreparedPage& page) {
    const std::int32_t k = pageCount;
    const std::string& pageW = page.layout.pageW;
    const std::string& pageH = page.layout.pageH;
    const std::string& placement = page.layout.placement;
    beginOBJ();
    const std::int32_t N = objCount;
    addLine("<< /Type /Page /Parent 3 0 R /Resources << /XObject << /Im" + str(k) + " " +
            str(checkedAdd(N, 2)) + " 0 R >> /ProcSet [/ImageI] >> /MediaBox [0 0 " + pageW + " " +
            pageH + "] /Contents " + str(checkedAdd(N, 1)) + " 0 R >>");
    addLine("endobj");
    kids += str(N) + " 0 R ";

    const std::string content = "q " + placement + " cm /Im" + str(k) + " Do Q";
    contentData.assign(content.begin(), content.end());
    rawLen = checkedInt32(contentData.size());
    beginOBJ();
    addLine("<< /Length " + str(rawLen) + " >>");
    addLine("stream");
    addBytes(contentData.data(), rawLen);
    addLine("\r\nendstream");
    addLine("endobj");

    beginOBJ();
    addLine(imageDictionary(k, page));
    addLine("stream");
    addBytes(page.stream.data(), zipLen);
    addLine("\r\nendstream");
    addLine("endobj");

    if (!page.iccProfile.empty()) {
        const std::int32_t length = checkedInt32(page.iccProfile.size());
        beginOBJ();
        addLine("<< /N " + str(componentsOf(page.color)) + " /Alternate " +
                deviceSpace(page.color) + " /Length " + str(length) + " >>");
        addLine("stream");
        addBytes(page.iccProfile.data(), length);
        addLine("\r\nendstream");
        addLine("endobj");
    }
}

std::string pdf::imageDictionary(std::int32_t k, const PreparedPage& page) {
    const std::int32_t W = page.Width;
    const std::int32_t H = page.Height;
    const std::int32_t bits = page.bitsPerComponent;
    const int components = componentsOf(page.color);
    const bool predicted = page.kind == StreamKind::PredictedFlate;
    const bool jpeg = page.kind == StreamKind::Dct;
    const bool fax = page.kind == StreamKind::Fax;
    // The bytes zlib holds: each row padded to a byte, after its filter type.
    const std::int32_t rowBytes =
        checkedAdd(checkedInt32((std::int64_t{W} * components * bits + 7) / 8), predicted ? 1 : 0);
    rawLen = checkedMul(rowBytes, H);
    zipLen = checkedInt32(page.stream.size());
    std::string filter = jpeg ? "/DCTDecode" : fax ? "/CCITTFaxDecode" : "[/FlateDecode]";
    if (predicted) {
        filter += " /DecodeParms [<< /Predictor 15 /Colors " + str(components) +
                  " /BitsPerComponent " + str(bits) + " /Columns " + str(W) + " >>]";
    }
    if (jpeg && components > 1) {
        filter += std::string(" /DecodeParms << /ColorTransform ") +
                  (page.colorTransform ? "1" : "0") + " >>";
    }
    if (fax) {
        filter += " /DecodeParms << /K -1 /Columns " + str(W) + " /Rows " + str(H) + " /BlackIs1 " +
                  (page.blackIs1 ? "true" : "false") + " >>";
    }
    // The ICC profile, when there is one, is the object after the image.
    const std::string space = page.color == ColorKind::Indexed ? indexedSpace(page.palette)
                              : page.iccProfile.empty()
                                  ? std::string(deviceSpace(page.color))
                                  : "[/ICCBased " + str(checkedAdd(objCount, 1)) + " 0 R]";
    const std::string decode = page.inverted ? " /Decode [1 0 1 0 1 0 1 0]" : "";
    return "<< /Type /XObject /Subtype /Image /Name /Im" + str(k) + " /Width " + str(W) +
           " /Height " + str(H) + " /ColorSpace " + space + " /BitsPerComponent " + str(bits) +
           decode + " /Filter " + filter + " /Length " + str(zipLen) +
           (jpeg || fax ? "" : " /Length1 " + str(rawLen)) + " >>";
}

void pdf::writeOutlineAndCatalog() {
    const auto count = static_cast<std::int32_t>(pageTitles_.size());
    const std::int32_t first = checkedAdd(objCount, 1);
    const std::int32_t last = checkedAdd(objCount, count);
    for (std::int32_t k = 1; k <= count; ++k) {
        const std::int32_t n = checkedAdd(objCount, 1);
        std::string entry =
            "<< /Title " + pageTitles_[static_cast<std::size_t>(k - 1)] + " /Parent 2 0 R";
        if (n > first) {
            entry += " /Prev " + str(n - 1) + " 0 R";
        }
        if (n < last) {
            entry += " /Next " + str(n + 1) + " 0 R";
        }
        addOBJ(entry + " /Dest [" + str(pageObjects_[static_cast<std::size_t>(k - 1)]) +
               " 0 R /Fit] >>");
    }
    objOffset[2] = pdfLen;
    addLine("2 0 obj");
    addLine(count == 0 ? "<< /Type /Outlines /Count 0 >>"
                       : "<< /Type /Outlines /First " + str(first) + " 0 R /Last " + str(last) +
                             " 0 R /Count " + str(count) + " >>");
    addLine("endobj");
    std::string catalog = "<< /Type /Catalog /Pages 3 0 R /Outlines 2 0 R";
    if (count > 0) {
        catalog += " /PageMode /UseOutlines";
    }
    if (!options_.title.empty()) {
        addOBJ("<< /Title " + pdfTextString(options_.title) + " >>");
        infoObject_ = objCount;
        catalog += " /ViewerPreferences << /DisplayDocTitle true >>";
    }
    objOffset[1] = pdfLen;
    addLine("1 0 obj");
    addLine(catalog + " >>");
    addLine("endobj");
}

void pdf::makePDF() {
    // Finished at the last call, when the target was held (InUse): only
    // the replace is tried again.
    if (finished_) {
        file_.commit();
        return;
    }
    objOffset[3] = pdfLen;
    addLine("3 0 obj");
    addLine("<< /Type /Pages /Count " + str(pageCount) + " /Kids [" + kids + "] >>");
    addLine("endobj");
    if (catalogAtEnd_) {
        writeOutlineAndCatalog();
    }

    objCount = checkedAdd(objCount, 1);
    objOffset.push_back(pdfLen);
    addLine("xref");
    addLine("0 " + str(objCount));
    addLine("0000000000 65535 f");
    for (std::int32_t i = 1; i < objCount; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010lld 00000 n",
                      static_cast<long long>(objOffset[static_cast<std::size_t>(i)]));
        addLine(entry);
    }
    addLine("trailer << /Size " + str(objCount) + " /Root 1 0 R" +
            (infoObject_ > 0 ? " /Info " + str(infoObject_) + " 0 R" : "") + " >>");
    addLine("startxref");
    addLine(std::to_string(objOffset[static_cast<std::size_t>(objCount)]));
    addLine("%%EOF");

    flushBuffer();
    finished_ = true;
    file_.commit();
}

std::unique_ptr<DocumentWriter> newPdfWriter(const std::string& path,
                                             const DocumentOptions& options) {
    return std::make_unique<pdf>(path, options);
}

}  // namespace folder2pdf
