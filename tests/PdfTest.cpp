#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "PdfTestPeer.h"
#include "TestSupport.h"
#include "common/Error.h"
#include "page/PageMaker.h"
#include "pdf/PreparedPage.h"
#include "pdf/TextString.h"
#include "pdf/pdf.h"

using folder2pdf::Bytes;
using folder2pdf::pdf;
using folder2pdf::PdfTestPeer;
using testsupport::TempDir;

namespace {

// A raster whose rows differ, so that a swapped or shifted row shows.
Bytes testRaster(std::int32_t W, std::int32_t H) {
    Bytes raster(static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    for (std::size_t i = 0; i < raster.size(); ++i) {
        raster[i] = static_cast<std::uint8_t>(i * 7 + i / static_cast<std::size_t>(W) * 13);
    }
    return raster;
}

// Each page is its three objects, exactly as written here, at the offsets the
// table gives: the page, its content stream (1 x 1 has the shortest), and an
// image stream of exactly /Length bytes of zlib data that inflates to
// /Length1 = Width x Height bytes: the raster written. A picture whose longer
// side passes 14400 gets a page scaled to 14400 units on that side.
TEST(PdfDocument, PagesAreWrittenWhereTheCrossReferenceSays) {
    TempDir dir;
    const std::string path = dir.file("doc.pdf");
    pdf writer(path);
    struct Size {
        int W, H;
        const char* page;  // the MediaBox's width and height
    };
    const std::vector<Size> sizes = {{1, 1, "1 1"},           {64, 1, "64 1"},
                                     {1, 70, "1 70"},         {33, 17, "33 17"},
                                     {14400, 1, "14400 1"},   {14401, 2, "14400 1.99986"},
                                     {3, 20000, "2.16 14400"}};
    for (auto [W, H, page] : sizes) {
        PdfTestPeer::addRaster(writer, W, H, testRaster(W, H));
    }
    writer.makePDF();
    const std::string file = testsupport::readFile(path);
    testsupport::expectQpdfAccepts(path);
    const int pages = static_cast<int>(sizes.size());
    ASSERT_EQ(PdfTestPeer::objects(writer), 3 + 3 * pages + 1);
    EXPECT_NE(file.find("<< /Type /Pages /Count 7 /Kids [ 4 0 R 7 0 R 10 0 R 13 0 R 16 0 R 19 0 "
                        "R 22 0 R ] >>\r\n"),
              std::string::npos);
    for (int k = 0; k < pages; ++k) {
        SCOPED_TRACE("page " + std::to_string(k + 1));
        const auto [W, H, page] = sizes[static_cast<std::size_t>(k)];
        const char* space = std::strchr(page, ' ');  // char* from some C libraries
        const std::string pageW(page, space);
        const std::string pageH(space + 1);
        const auto n = [&](int object) { return std::to_string(4 + 3 * k + object); };
        const std::string im = "/Im" + std::to_string(k + 1);
        const std::string cm = "q " + pageW + " 0 0 " + pageH + " 0 0 cm " + im + " Do Q";
        const std::string objects[3] = {
            n(0) + " 0 obj\r\n<< /Type /Page /Parent 3 0 R /Resources << /XObject << " + im + " " +
                n(2) + " 0 R >> /ProcSet [/ImageI] >> /MediaBox [0 0 " + page + "] /Contents " +
                n(1) + " 0 R >>\r\nendobj\r\n",
            n(1) + " 0 obj\r\n<< /Length " + std::to_string(cm.size()) + " >>\r\nstream\r\n" + cm +
                "\r\nendstream\r\nendobj\r\n",
            n(2) + " 0 obj\r\n<< /Type /XObject /Subtype /Image /Name " + im + " /Width " +
                std::to_string(W) + " /Height " + std::to_string(H) +
                " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter [/FlateDecode] /Length "};
        for (int i = 0; i < 3; ++i) {
            const auto at = static_cast<std::size_t>(PdfTestPeer::offsets(writer)[4 + 3 * k + i]);
            EXPECT_EQ(file.substr(at, objects[i].size()), objects[i]);
            if (i < 2) {
                EXPECT_EQ(at + objects[i].size(),
                          static_cast<std::size_t>(PdfTestPeer::offsets(writer)[5 + 3 * k + i]));
            }
        }
        std::size_t at =
            static_cast<std::size_t>(PdfTestPeer::offsets(writer)[6 + 3 * k]) + objects[2].size();
        const std::size_t length = std::stoul(file.substr(at));
        const std::string rest = " /Length1 " + std::to_string(W * H) + " >>\r\nstream\r\n";
        at = file.find(' ', at);
        ASSERT_EQ(file.substr(at, rest.size()), rest);
        at += rest.size();
        EXPECT_EQ(file.substr(at + length, 19), "\r\nendstream\r\nendobj");
        const auto raster =
            testsupport::inflate(reinterpret_cast<const std::uint8_t*>(file.data()) + at, length);
        const Bytes expected = testRaster(W, H);
        EXPECT_TRUE(std::equal(raster.begin(), raster.end(), expected.begin(), expected.end()));
    }
    // The same bytes, however the write buffer cuts them into writes.
    for (std::size_t buffer : {1, 64}) {
        pdf cut(dir.file("cut.pdf"));
        PdfTestPeer::limitBuffer(cut, buffer);
        for (auto [W, H, page] : sizes) {
            PdfTestPeer::addRaster(cut, W, H, testRaster(W, H));
        }
        cut.makePDF();
        EXPECT_FALSE(PdfTestPeer::bufferOverrun(cut)) << buffer << "-byte buffer";
        EXPECT_TRUE(testsupport::readFile(dir.file("cut.pdf")) == file) << buffer << "-byte buffer";
    }
}

// On a paper the page turns to the picture's orientation and the picture is
// scaled to the room inside the margins and centred, Shrink never
// enlarging it; at a resolution the page is the picture's size in inches.
using folder2pdf::Fit;
using folder2pdf::Paper;

folder2pdf::DocumentOptions layout(Paper paper, double margin = 0, Fit fit = Fit::Page,
                                   int dpi = 0) {
    folder2pdf::DocumentOptions options;
    options.paper = paper;
    options.marginMM = margin;
    options.fit = fit;
    options.dpi = dpi;
    return options;
}

TEST(PdfDocument, PaperAndResolutionPlaceThePicture) {
    struct Case {
        folder2pdf::DocumentOptions options;
        int W, H;
        const char* page;
        const char* placement;  // of the cm operator
    };
    const Case cases[] = {
        {layout(Paper::Letter), 100, 200, "612 792", "396 0 0 792 108 0"},
        {layout(Paper::Letter, 25.4), 300, 100, "792 612", "648 0 0 216 72 198"},
        {layout(Paper::Legal, 0, Fit::Shrink), 10, 20, "612 1008", "10 0 0 20 301 494"},
        {layout(Paper::Legal, 0, Fit::Shrink), 1224, 1008, "1008 612", "743.14 0 0 612 132.43 0"},
        {layout(Paper::A4), 2480, 3508, "595.28 841.89", "595.18 0 0 841.89 0.05 0"},
        {layout(Paper::A3), 2, 2, "841.89 1190.55", ""},
        {layout(Paper::A5), 2, 2, "419.53 595.28", ""},
        {layout(Paper::Picture, 0, Fit::Page, 300), 2480, 3508, "595.2 841.92",
         "595.2 0 0 841.92 0 0"},
        {layout(Paper::Picture, 0, Fit::Page, 72), 20000, 10, "14400 7.2", "14400 0 0 7.2 0 0"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H) + " on " + c.page);
        {
            pdf writer(dir.file("paper.pdf"), c.options);
            PdfTestPeer::addRaster(writer, c.W, c.H, Bytes(static_cast<std::size_t>(c.W) * c.H, 9));
            writer.makePDF();
        }
        const std::string file = testsupport::readFile(dir.file("paper.pdf"));
        EXPECT_NE(file.find(std::string("/MediaBox [0 0 ") + c.page + "]"), std::string::npos);
        if (*c.placement) {
            EXPECT_NE(file.find(std::string("q ") + c.placement + " cm /Im1 Do Q"),
                      std::string::npos);
        }
        testsupport::expectQpdfAccepts(dir.file("paper.pdf"));
    }
}

// Titles and bookmarks: printable ASCII as a literal, anything else as
// UTF-16BE, broken UTF-8 as U+FFFD; a bookmark is its picture's file name
// less the last extension.
TEST(PdfDocument, TextStringsAreLiteralWhenPrintableAsciiElseUtf16) {
    const std::pair<std::string, std::string> strings[] = {
        {"a(b)\\c", "(a\\(b\\)\\\\c)"},
        {"相册", "<FEFF76F8518C>"},
        {"\xF0\x9F\x98\x80 ", "<FEFFD83DDE000020>"},
        {"a\xFF\xE0\x80\x80\xE6\x9B", "<FEFF0061FFFDFFFDFFFD>"},
    };
    for (const auto& [text, pdfText] : strings) {
        EXPECT_EQ(folder2pdf::pdfTextString(text), pdfText);
    }
    const std::pair<std::string, std::string> titles[] = {
        {"scans/p 1.png", "p 1"}, {"x/.hidden", ".hidden"}, {"a.png.bak", "a.png"}};
    for (const auto& [path, title] : titles) {
        EXPECT_EQ(folder2pdf::pageTitle(path), title);
    }
}

// A document of 5 GiB, past every 32-bit count, as the writer counts it
// (the first 5 GiB skipped): the first page stands at 134 + 5 GiB, which the
// table gives with all ten digits.
TEST(PdfLarge, OffsetsPastFourGiBKeepTheirTenDigits) {
    TempDir dir;
    const std::string path = dir.file("large.pdf");
    pdf writer(path);
    PdfTestPeer::skip(writer, std::int64_t{5} << 30);
    PdfTestPeer::addRaster(writer, 5, 3, testRaster(5, 3));
    writer.makePDF();
    const std::string file = testsupport::readFile(path);
    EXPECT_NE(file.find("\r\n5368709254 00000 n\r\n"), std::string::npos) << file;
}

// Growth past the largest size the table can describe stops before
// anything beyond it is written, names the document and the limit, and the
// abandoned writer leaves the earlier document as it was.
TEST(PdfLarge, DocumentThatWouldPassTheLimitFailsAndKeepsTheEarlierOne) {
    TempDir dir;
    const std::string path = dir.file("large.pdf");
    testsupport::writeFile(path, "earlier");
    {
        pdf writer(path);
        PdfTestPeer::skip(writer, pdf::maxDocumentBytes - 134 - 100);
        try {
            PdfTestPeer::addRaster(writer, 5, 3, testRaster(5, 3));
            ADD_FAILURE() << "the page went past the limit";
        } catch (const folder2pdf::Error& error) {
            EXPECT_EQ(error.reason(), folder2pdf::ErrorReason::TooLarge);
            EXPECT_EQ(std::string(error.what())
                          .rfind(path + ": the document would pass 9,999,999,999 bytes", 0),
                      0u)
                << error.what();
        }
        EXPECT_LE(PdfTestPeer::length(writer), pdf::maxDocumentBytes);
    }
    EXPECT_EQ(testsupport::listFolder(dir.file("")), std::vector<std::string>{"large.pdf"});
    EXPECT_EQ(testsupport::readFile(path), "earlier");
}

// A raster that zlib fails on gives the reason the window's box gives for it.
TEST(PdfPage, RasterThatFailsToCompressGivesTheReason) {
    using folder2pdf::ErrorReason;
    const folder2pdf::CompressFunction outOfMemory = [](auto, auto, auto, auto) {
        return Z_MEM_ERROR;
    };
    const folder2pdf::CompressFunction noRoom = [](auto, auto, auto, auto) { return Z_BUF_ERROR; };
    for (const auto& [compressor, reason] :
         {std::pair{outOfMemory, ErrorReason::OutOfMemory}, {noRoom, ErrorReason::TooLarge}}) {
        Bytes raster(16, 0x80), zipped;
        try {
            folder2pdf::compressRaster(raster, zipped, compressor);
            ADD_FAILURE() << "compressed";
        } catch (const folder2pdf::Error& error) {
            EXPECT_EQ(error.reason(), reason) << error.what();
        }
    }
}

}  // namespace
