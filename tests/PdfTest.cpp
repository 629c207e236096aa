#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "PdfTestPeer.h"
#include "TestSupport.h"
#include "common/Error.h"
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
        raster[i] =
            static_cast<std::uint8_t>((i * 7 + i / static_cast<std::size_t>(W) * 13) & 0xff);
    }
    return raster;
}

const char emptyDocument[] =
    "%PDF-1.4\r\n"
    "%\xE2\xE3\xCF\xD3\r\n"
    "1 0 obj\r\n"
    "<< /Type /Catalog /Pages 3 0 R /Outlines 2 0 R >>\r\n"
    "endobj\r\n"
    "2 0 obj\r\n"
    "<< /Type /Outlines /Count 0 >>\r\n"
    "endobj\r\n"
    "3 0 obj\r\n"
    "<< /Type /Pages /Count 0 /Kids [ ] >>\r\n"
    "endobj\r\n"
    "xref\r\n"
    "0 4\r\n"
    "0000000000 65535 f\r\n"
    "0000000017 00000 n\r\n"
    "0000000085 00000 n\r\n"
    "0000000134 00000 n\r\n"
    "trailer << /Size 4 /Root 1 0 R >>\r\n"
    "startxref\r\n"
    "190\r\n"
    "%%EOF\r\n";

TEST(PdfDocument, EmptyDocumentIs339BytesExactly) {
    TempDir dir;
    pdf writer(dir.file("empty.pdf"));
    writer.makePDF();
    const std::string file = testsupport::readFile(dir.file("empty.pdf"));
    EXPECT_EQ(file.size(), 339u);
    EXPECT_EQ(file, std::string(emptyDocument));
}

// The worked layout: a 640 x 480 page and a 100 x 50 page. Offsets past the
// first image depend on how well zlib compresses, so they are derived from
// the compressed lengths the writer reports.
TEST(PdfDocument, TwoPageLayoutMatchesTheWorkedExample) {
    TempDir dir;
    pdf writer(dir.file("two.pdf"));
    PdfTestPeer::addRaster(writer, 640, 480, testRaster(640, 480));
    const std::int32_t zip1 = PdfTestPeer::compressedLength(writer);
    PdfTestPeer::addRaster(writer, 100, 50, testRaster(100, 50));
    const std::int32_t zip2 = PdfTestPeer::compressedLength(writer);
    writer.makePDF();

    const auto digits = [](std::int32_t n) {
        return static_cast<std::int32_t>(std::to_string(n).size());
    };
    const std::int32_t page2 = 574 + digits(zip1) + zip1;
    const std::int32_t tree = page2 + 236 + 199 + digits(zip2) + zip2;
    const std::vector<std::int64_t> expected = {0,   17,    85,          tree,        134,      286,
                                                372, page2, page2 + 151, page2 + 236, tree + 68};
    EXPECT_EQ(writer.offsets(), expected);

    const std::string file = testsupport::readFile(dir.file("two.pdf"));
    EXPECT_EQ(file.size(), static_cast<std::size_t>(tree + 68 + 268 + digits(tree + 68)));
    EXPECT_NE(file.find("<< /Type /Pages /Count 2 /Kids [ 4 0 R 7 0 R ] >>\r\n"),
              std::string::npos);
    EXPECT_NE(
        file.find("0 10\r\n0000000000 65535 f\r\n0000000017 00000 n\r\n0000000085 00000 n\r\n" +
                  [&] {
                      char entry[32];
                      std::snprintf(entry, sizeof entry, "%010d 00000 n\r\n", tree);
                      return std::string(entry);
                  }() +
                  "0000000134 00000 n\r\n"),
        std::string::npos);
    EXPECT_NE(file.find("trailer << /Size 10 /Root 1 0 R >>\r\nstartxref\r\n" +
                        std::to_string(tree + 68) + "\r\n%%EOF\r\n"),
              std::string::npos);
}

// Each page is its three objects, exactly as written here, at the offsets the
// table gives: the page, its content stream (1 x 1 has the shortest), and an
// image stream of exactly /Length bytes of zlib data that inflates to
// /Length1 = Width x Height bytes: the raster written. A picture whose longer
// side passes 14400 gets a page scaled to 14400 units on that side.
TEST(PdfDocument, PagesAreWrittenWhereTheCrossReferenceSays) {
    TempDir dir;
    pdf writer(dir.file("doc.pdf"));
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
    const std::string file = testsupport::readFile(dir.file("doc.pdf"));
    const int pages = static_cast<int>(sizes.size());
    ASSERT_EQ(writer.objects(), 3 + 3 * pages + 1);
    EXPECT_EQ(file.compare(static_cast<std::size_t>(writer.offsets()[3]), 9, "3 0 obj\r\n"), 0);
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
            const auto at = static_cast<std::size_t>(writer.offsets()[4 + 3 * k + i]);
            EXPECT_EQ(file.substr(at, objects[i].size()), objects[i]);
            if (i < 2) {
                EXPECT_EQ(at + objects[i].size(),
                          static_cast<std::size_t>(writer.offsets()[5 + 3 * k + i]));
            }
        }
        std::size_t at = static_cast<std::size_t>(writer.offsets()[6 + 3 * k]) + objects[2].size();
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
}

// Independent readers: qpdf finds the structure sound, and poppler gives
// back the very gray levels we stored (page sizes are checked above), also
// of a picture taller than a page may be, on its page of 14400 units.
TEST(PdfDocument, IndependentReadersAcceptTheDocument) {
    if (!testsupport::haveTool("qpdf") || !testsupport::haveTool("pdfimages")) {
        GTEST_SKIP() << "qpdf or poppler-utils missing";
    }
    TempDir dir;
    pdf writer(dir.file("doc.pdf"));
    PdfTestPeer::addRaster(writer, 37, 11, testRaster(37, 11));
    PdfTestPeer::addRaster(writer, 5, 3, testRaster(5, 3));
    PdfTestPeer::addRaster(writer, 2, 20000, testRaster(2, 20000));
    writer.makePDF();

    const auto check = testsupport::run({"qpdf", "--check", dir.file("doc.pdf")});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.err, "");

    const auto images = testsupport::run({"pdfimages", dir.file("doc.pdf"), dir.file("img")});
    ASSERT_EQ(images.status, 0) << images.err;
    // poppler writes gray images as PPM: three equal samples a pixel.
    ASSERT_EQ(testsupport::listFolder(dir.path()),
              (std::vector<std::string>{"doc.pdf", "img-000.ppm", "img-001.ppm", "img-002.ppm"}));
    const std::pair<int, int> sizes[] = {{37, 11}, {5, 3}, {2, 20000}};
    for (int i = 0; i < 3; ++i) {
        const std::string ppm =
            testsupport::readFile(dir.file("img-00" + std::to_string(i) + ".ppm"));
        const auto [W, H] = sizes[i];
        const std::string header = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
        ASSERT_EQ(ppm.compare(0, header.size(), header), 0) << ppm.substr(0, 20);
        const Bytes expected = testRaster(W, H);
        std::string samples;
        for (std::uint8_t level : expected) {
            samples.append(3, static_cast<char>(level));
        }
        EXPECT_EQ(ppm.substr(header.size()), samples);
    }
    const auto list = testsupport::run({"pdfimages", "-list", dir.file("doc.pdf")});
    EXPECT_TRUE(std::regex_search(list.out, std::regex("\n +3 +2 image +2 +20000 +gray ")))
        << list.out;
    if (testsupport::haveTool("pdfinfo")) {
        const auto info = testsupport::run({"pdfinfo", "-f", "3", "-l", "3", dir.file("doc.pdf")});
        EXPECT_NE(info.out.find("Page    3 size:  1.44 x 14400 pts"), std::string::npos)
            << info.out;
    }
}

// The end of a file, without reading what comes before.
std::string fileTail(const std::string& path, std::size_t length) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const auto size = static_cast<std::size_t>(in.tellg());
    length = std::min(length, size);
    in.seekg(static_cast<std::streamoff>(size - length));
    std::string tail(length, '\0');
    in.read(tail.data(), static_cast<std::streamsize>(length));
    return tail;
}

// A document of 5 GiB, past every 32-bit count, made cheaply: a hole
// between object 2 and the first page. The pages' offsets keep all ten
// digits, and independent readers find the pages there.
TEST(PdfLarge, OffsetsPastFourGiBKeepTheirTenDigits) {
    TempDir dir;
    const std::string path = dir.file("large.pdf");
    constexpr std::int64_t hole = std::int64_t{5} << 30;
    pdf writer(path);
    PdfTestPeer::skip(writer, hole);
    PdfTestPeer::addRaster(writer, 37, 11, testRaster(37, 11));
    PdfTestPeer::addRaster(writer, 5, 3, testRaster(5, 3));
    writer.makePDF();

    const auto& offsets = writer.offsets();
    ASSERT_EQ(offsets.size(), 11u);
    EXPECT_EQ(offsets[4], 134 + hole);
    std::string entries;
    for (std::size_t i = 1; i < 10; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n",
                      static_cast<long long>(offsets[i]));
        entries += entry;
    }
    const std::string tail = fileTail(path, 400);
    EXPECT_NE(tail.find("0 10\r\n0000000000 65535 f\r\n" + entries +
                        "trailer << /Size 10 /Root 1 0 R >>\r\nstartxref\r\n" +
                        std::to_string(offsets[10]) + "\r\n%%EOF\r\n"),
              std::string::npos)
        << tail;
    EXPECT_EQ(std::filesystem::file_size(path), static_cast<std::uintmax_t>(writer.length()));

    if (testsupport::haveTool("qpdf") && testsupport::haveTool("pdfinfo")) {
        const auto check = testsupport::run({"qpdf", "--check", path});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        const auto info = testsupport::run({"pdfinfo", path});
        EXPECT_TRUE(std::regex_search(info.out, std::regex("Pages: +2\n"))) << info.out << info.err;
    }
}

// Growth past the largest size the table can describe stops before
// anything beyond it is written, names the document and the limit, and the
// abandoned writer leaves the earlier document as it was.
TEST(PdfLarge, DocumentThatWouldPassTheLimitFailsAndKeepsTheEarlierOne) {
    TempDir dir;
    const std::string path = dir.file("large.pdf");
    testsupport::writeFile(path, std::string("earlier"));
    {
        pdf writer(path);
        PdfTestPeer::skip(writer, pdf::maxDocumentBytes - 134 - 100);
        try {
            PdfTestPeer::addRaster(writer, 5, 3, testRaster(5, 3));
            ADD_FAILURE() << "the page went past the limit";
        } catch (const folder2pdf::Error& error) {
            EXPECT_EQ(error.kind(), folder2pdf::ErrorKind::Overflow);
            EXPECT_EQ(std::string(error.what())
                          .rfind(path + ": the document would pass 9,999,999,999 bytes", 0),
                      0u)
                << error.what();
        }
        EXPECT_LE(writer.length(), pdf::maxDocumentBytes);
    }
    EXPECT_EQ(testsupport::listFolder(dir.path().string()), std::vector<std::string>{"large.pdf"});
    EXPECT_EQ(testsupport::readFile(path), "earlier");
}

TEST(PdfPage, PictureThatFailsToLoadAddsNoObject) {
    TempDir dir;
    testsupport::writeFile(dir.file("bad.png"), "not a picture");
    pdf writer(dir.file("doc.pdf"));
    EXPECT_THROW(writer.pageOBJ(dir.file("bad.png")), folder2pdf::Error);
    EXPECT_EQ(writer.length(), 134);
    EXPECT_EQ(writer.objects(), 3);
}

}  // namespace
