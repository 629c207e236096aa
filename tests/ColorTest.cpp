// --color: JPEG files stored as their own bytes, other pictures in colour,
// checked with independent readers (poppler's pdfimages and pdftoppm,
// MuPDF's mutool, ImageMagick's convert).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "TestSupport.h"

namespace {

using testsupport::dataFile;
using testsupport::Folder;
using testsupport::Names;
using testsupport::readFile;
using testsupport::runProgram;

// A reader's output; the test is skipped where the reader can't run.
std::string reader(const std::string& command) {
    const auto result = testsupport::run({"sh", "-c", command});
    EXPECT_EQ(result.status, 0) << command << ": " << result.err;
    return result.out;
}

bool readersMissing() {
    return testsupport::onWindows ||
           testsupport::run({"sh", "-c",
                             "command -v pdfimages && command -v mutool && "
                             "command -v pdftoppm && command -v convert"})
                   .status != 0;
}

// A PNM file's header (P5 or P6) and samples.
struct Pnm {
    int width = 0, height = 0;
    std::string samples;
};
Pnm readPnm(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string magic;
    int maximum = 0;
    Pnm pnm;
    in >> magic >> pnm.width >> pnm.height >> maximum;
    in.get();
    pnm.samples = bytes.substr(static_cast<std::size_t>(in.tellg()));
    return pnm;
}

// The mean and the largest difference between two pictures' samples, or
// -1 when their sizes differ.
std::pair<double, int> difference(const Pnm& a, const Pnm& b) {
    if (a.width != b.width || a.height != b.height || a.samples.size() != b.samples.size()) {
        return {-1, -1};
    }
    double sum = 0;
    int most = 0;
    for (std::size_t i = 0; i < a.samples.size(); ++i) {
        const int d = std::abs(static_cast<unsigned char>(a.samples[i]) -
                               static_cast<unsigned char>(b.samples[i]));
        sum += d;
        most = std::max(most, d);
    }
    return {sum / static_cast<double>(a.samples.size()), most};
}

// The document's first image stream, as stored.
std::string firstStream(const std::string& document) {
    const std::size_t image = document.find("/Subtype /Image");
    const std::size_t start = document.find("stream\r\n", image) + 8;
    return document.substr(start, document.find("\r\nendstream", start) - start);
}

// Makes the document of one picture with `options` and gives its path.
std::string convert(const Folder& folder, const std::string& picture, const Names& options,
                    const std::string& name) {
    Names arguments = options;
    const std::string out = folder.file(name + ".pdf");
    arguments.insert(arguments.end(), {"-o", out, picture});
    const auto result = runProgram(arguments);
    EXPECT_EQ(result.status, 0) << picture << ": " << result.err;
    testsupport::expectQpdfAccepts(out);
    return out;
}

// A JPEG file the walk trusts becomes its page byte for byte, in the colour
// space of its components; drawn (gray, by poppler) it shows what the
// default gray page shows, an Adobe CMYK file not inverted. A JPEG the
// walk doesn't trust is decoded and stored losslessly.
TEST(ColorJpeg, TrustedFilesAreStoredAsTheyAreAndShowAsTheDefaultPage) {
    if (readersMissing()) {
        GTEST_SKIP() << "needs poppler-utils, mupdf-tools and imagemagick";
    }
    Folder folder("color");
    const struct {
        const char* file;
        const char* space;  // pdfimages' colour column
        bool asIs;          // the stream is the file
        double mean;        // the mean difference allowed
    } cases[] = {
        // Poppler turns YCCK into CMYK its own way, some 18 levels off the
        // decoder's; inverted, the page would be over 100 off.
        {"gray.jpg", "gray", true, 2},           {"rgb.jpg", "rgb", true, 2},
        {"cmyk-adobe.jpg", "cmyk", true, 2},     {"ycck.jpg", "cmyk", true, 25},
        {"cmyk-plain.jpg", "cmyk", true, 2},     {"progressive-420.jpg", "rgb", true, 2},
        {"restart-markers.jpg", "rgb", true, 2}, {"arithmetic.jpg", "rgb", false, 2},
    };
    for (const auto& c : cases) {
        const std::string picture = dataFile(std::string("jpeg/") + c.file);
        const std::string color = convert(folder, picture, {"--color"}, "color");
        const std::string gray = convert(folder, picture, {}, "gray");
        const std::string list = reader("pdfimages -list '" + color + "' | tail -n 1");
        EXPECT_NE(list.find(std::string(" ") + c.space + " "), std::string::npos) << c.file << list;
        EXPECT_EQ(list.find(" jpeg ") != std::string::npos, c.asIs) << c.file << list;
        EXPECT_EQ(firstStream(readFile(color)) == readFile(picture), c.asIs) << c.file;
        const auto draw = [](const std::string& pdf) {
            reader("pdftoppm -r 72 -gray -singlefile '" + pdf + "' '" + pdf + "'");
            return readPnm(readFile(pdf + ".pgm"));
        };
        const auto [mean, most] = difference(draw(color), draw(gray));
        EXPECT_GE(mean, 0) << c.file;
        EXPECT_LT(mean, c.mean) << c.file;
    }
}

// Each EXIF orientation turns the page and its placement, never the bytes:
// MuPDF draws the very picture that the default page, turned by the
// loader, holds, on a page of the same size.
TEST(ColorJpeg, EveryOrientationTurnsThePlacementAndKeepsTheBytes) {
    if (readersMissing()) {
        GTEST_SKIP() << "needs poppler-utils, mupdf-tools and imagemagick";
    }
    Folder folder("turned");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string picture =
            dataFile("jpeg/orientation-" + std::to_string(orientation) + ".jpg");
        const std::string color = convert(folder, picture, {"--color"}, "color");
        const std::string gray = convert(folder, picture, {}, "gray");
        EXPECT_EQ(firstStream(readFile(color)), readFile(picture)) << orientation;
        const auto draw = [](const std::string& pdf) {
            return readPnm(reader("mutool draw -q -r 72 -F pgm -o - '" + pdf + "' 2>/dev/null"));
        };
        const auto [mean, most] = difference(draw(color), draw(gray));
        EXPECT_GE(mean, 0) << orientation;
        EXPECT_LT(mean, 2) << orientation;
    }
}

// The colour, bits per component and encoding pdfimages lists for the
// document's last image: "gray 1 ccitt", "index 4 image"...
std::string listed(const std::string& pdf) {
    std::istringstream row(reader("pdfimages -list '" + pdf + "' | tail -n 1"));
    std::string page, num, type, width, height, color, components, bits, encoding;
    row >> page >> num >> type >> width >> height >> color >> components >> bits >> encoding;
    return color + " " + bits + " " + encoding;
}

// What a page must show: a picture's samples upright on white, as
// ImageMagick reads them (16-bit samples reduced to 8 by the loader's
// rounding, (v 255 + 32767) / 65535), or, where ImageMagick shows the first
// frame of an animation on black, the loader's gray raster beside it.
enum class Expected { Read, Read16, LoaderGray };
Pnm expectedPixels(const std::string& picture, Expected expected) {
    if (expected == Expected::LoaderGray) {
        return readPnm(readFile(picture.substr(0, picture.rfind('.')) + ".pgm"));
    }
    const bool sixteen = expected == Expected::Read16;
    Pnm pnm = readPnm(reader("convert '" + picture + "' -auto-orient -background white -flatten " +
                             (sixteen ? "-depth 16 ppm:-" : "-depth 8 ppm:-")));
    if (sixteen) {
        std::string reduced;
        for (std::size_t i = 0; i + 1 < pnm.samples.size(); i += 2) {
            const unsigned v = static_cast<unsigned char>(pnm.samples[i]) << 8 |
                               static_cast<unsigned char>(pnm.samples[i + 1]);
            reduced += static_cast<char>((v * 255 + 32767) / 65535);
        }
        pnm.samples = reduced;
    }
    return pnm;
}

// Other pictures keep their exact colours, plain and with predictors:
// transparency is on white paper (rounding apart), 16-bit samples keep 8
// bits (the document is PDF 1.4). Each is stored in the fewest bits that
// hold its colours: gray levels as gray, at most 256 colours as indices
// into a palette. A single strip of Group 4 code is kept as its bytes,
// turned by its placement; bits least significant first, or several
// strips, are decoded. A run-length BMP and an animated WebP keep their
// colours too. With --jpeg each is a JPEG page, in colour if it has any.
TEST(ColorLossless, PicturesKeepTheirColoursExactlyInTheFewestBits) {
    if (readersMissing()) {
        GTEST_SKIP() << "needs poppler-utils, mupdf-tools and imagemagick";
    }
    Folder folder("lossless");
    const struct {
        const char* file;
        const char* listing;  // as listed()
        int most;             // the largest difference allowed
        Expected expected = Expected::Read;
    } cases[] = {
        {"png/rgb-8.png", "rgb 8 image", 0},
        {"png/interlaced-rgb-8.png", "index 8 image", 0},  // of 256 colours or fewer
        {"png/rgba-8.png", "rgb 8 image", 1},
        {"png/rgb-16.png", "rgb 8 image", 0, Expected::Read16},
        {"tiff/deflate-rgb-16.tif", "rgb 8 image", 0, Expected::Read16},
        {"webp/animated.webp", "rgb 8 image", 1, Expected::LoaderGray},  // drawn gray
        {"png/gray-8.png", "gray 8 image", 0},
        {"png/gray-2.png", "gray 2 image", 0},
        {"png/gray-1.png", "gray 1 image", 0},
        {"bmp/mono.bmp", "gray 1 image", 0},
        {"tiff/g4-bilevel.tif", "gray 1 ccitt", 0},
        {"tiff/g4-minisblack.tif", "gray 1 ccitt", 0},
        {"tiff/g4-orientation-6.tif", "gray 1 ccitt", 0},
        {"tiff/g4-lsb-first.tif", "gray 1 image", 0},
        {"tiff/g4-strips.tif", "gray 1 image", 0},
        {"png/palette-2.png", "index 2 image", 0},
        {"png/palette-8.png", "index 8 image", 0},
        {"png/interlaced-palette-4-trns.png", "index 4 image", 1},
        {"gif/pillow-interlaced.gif", "index 8 image", 0},
        {"gif/transparent-index.gif", "index 2 image", 0},
        {"bmp/core-palette.bmp", "index 4 image", 0},
        {"bmp/rle8.bmp", "index 8 image", 0},
        {"tiff/palette-4.tif", "index 4 image", 0},
    };
    for (const auto& c : cases) {
        const std::string picture = dataFile(c.file);
        const Pnm expected = expectedPixels(picture, c.expected);
        const std::string draw =
            c.expected == Expected::LoaderGray ? "-c gray -F pgm" : "-c rgb -F ppm";
        for (const Names& options : {Names{"--color"}, Names{"--color", "--compact"}}) {
            const std::string pdf = convert(folder, picture, options, "page");
            EXPECT_EQ(listed(pdf), c.listing) << c.file << " " << options.size();
            const auto [mean, most] = difference(
                readPnm(reader("mutool draw -q -r 72 " + draw + " -o - '" + pdf + "' 2>/dev/null")),
                expected);
            EXPECT_GE(mean, 0) << c.file;
            EXPECT_LE(most, c.most) << c.file << " " << options.size();
        }
        const std::string jpeg = convert(folder, picture, {"--color", "--jpeg", "90"}, "jpeg");
        const std::string space = std::string(c.listing).substr(0, 4) == "gray" ? "gray" : "rgb";
        EXPECT_EQ(listed(jpeg), space + " 8 jpeg") << c.file;
    }
}

// What the default refuses, --color refuses too, though it decodes nothing.
TEST(ColorJpeg, DamagedFilesAreRefusedAsByDefault) {
    Folder folder("damaged");
    const std::string good = readFile(dataFile("jpeg/rgb.jpg"));
    const std::size_t scan = good.find("\xFF\xDA");
    std::string badLength = good;
    badLength[5] = '\x02';  // the first segment's length, past the file's end
    badLength[4] = '\x7F';
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cut.jpg", good.substr(0, good.size() / 2)},
        {"length.jpg", badLength},
        {"no-scan.jpg", good.substr(0, scan) + "\xFF\xD9"},
        {"no-end.jpg", good.substr(0, good.size() - 2)},
    };
    for (const auto& c : cases) {
        testsupport::writeFile(folder.file(c.name), c.bytes);
        for (const Names& options : {Names{}, Names{"--color"}}) {
            Names arguments = options;
            arguments.insert(arguments.end(), {"-o", folder.file("out.pdf"), folder.file(c.name)});
            const auto result = runProgram(arguments);
            EXPECT_EQ(result.status, 1) << c.name << " " << options.size();
            EXPECT_NE(result.err.find(c.name), std::string::npos) << result.err;
        }
    }
}

}  // namespace
