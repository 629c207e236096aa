// Arranging pictures: their order (--sort, --reverse) and quarter turns.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "TestSupport.h"
#include "job/JobRun.h"
#include "job/PictureOrder.h"
#include "page/PageMaker.h"

namespace {

using folder2pdf::Picture;
using folder2pdf::SortOrder;
using testsupport::Folder;
using testsupport::readFile;
using testsupport::writeFile;

std::vector<std::string> namesOf(const std::vector<Picture>& pictures) {
    std::vector<std::string> names;
    for (const Picture& picture : pictures) {
        names.push_back(picture.name);
    }
    return names;
}

// Each key orders earliest first, ties and pictures without a time by name
// after those with one; reverse turns the whole order round; a picture
// moves with its pages and turns.
TEST(PictureOrder, EachKeyOrdersByItsTimeWithTiesByNameAndReverseTurnsItRound) {
    const std::map<std::string, std::optional<std::int64_t>> modified = {
        {"p10", 5}, {"p2", 5}, {"b", 3}, {"a", 9}};
    const std::map<std::string, std::optional<std::int64_t>> taken = {
        {"p10", 1}, {"p2", std::nullopt}, {"b", 7}, {"a", 1}};
    const folder2pdf::PictureDates dates{[&](const std::string& path) { return modified.at(path); },
                                         [&](const std::string& path) { return taken.at(path); }};
    const struct {
        SortOrder order;
        bool reverse;
        std::vector<std::string> names;
    } cases[] = {
        {SortOrder::Name, false, {"a", "b", "p2", "p10"}},
        {SortOrder::Name, true, {"p10", "p2", "b", "a"}},
        {SortOrder::Modified, false, {"b", "p2", "p10", "a"}},
        {SortOrder::Modified, true, {"a", "p10", "p2", "b"}},
        {SortOrder::Taken, false, {"a", "p10", "b", "p2"}},
        {SortOrder::Taken, true, {"p2", "b", "p10", "a"}},
    };
    for (const auto& c : cases) {
        std::vector<Picture> pictures;
        for (const char* name : {"p10", "b", "p2", "a"}) {
            pictures.push_back({name, name, 0, name[0] == 'b' ? 3u : 1u, name[0] == 'b' ? 1 : 0});
        }
        folder2pdf::sortPictures(pictures, c.order, c.reverse, dates);
        EXPECT_EQ(namesOf(pictures), c.names) << static_cast<int>(c.order) << c.reverse;
        for (const Picture& picture : pictures) {
            EXPECT_EQ(picture.pages, picture.name == "b" ? 3u : 1u);
            EXPECT_EQ(picture.quarterTurns, picture.name == "b" ? 1 : 0);
        }
    }
    EXPECT_EQ(folder2pdf::turnedBy(3, 1), 0);
    EXPECT_EQ(folder2pdf::turnedBy(0, -1), 3);
}

// A JPEG's EXIF date, or a HEIF file's, is when it was taken; a damaged block, or none, falls
// back to the file's time, as does a file that isn't there.
TEST(PictureOrder, TakenIsTheExifDateOrElseTheFilesTime) {
    Folder folder("dates");
    writeFile(folder.file("dated.jpg"), testsupport::jpegTakenAt("2019:03:04 05:06:07"));
    writeFile(folder.file("later.jpg"), testsupport::jpegTakenAt("2019:03:04 05:06:08"));
    writeFile(folder.file("damaged.jpg"), testsupport::jpegTakenAt("2019:03:04 05:06:07", true));
    const auto taken = folder2pdf::takenTime(folder.file("dated.jpg"));
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(*folder2pdf::takenTime(folder.file("later.jpg")) - *taken, 1000000000);
    // The date is local time: within a day of its UTC reading, 1551675967.
    EXPECT_LT(std::abs(*taken / 1000000000 - 1551675967), 86400);
    // A HEIF file's date is in its Exif item.
    EXPECT_EQ(folder2pdf::takenTime(testsupport::dataFile("heif/lossy-dated.heic")), taken);
    EXPECT_FALSE(folder2pdf::takenTime(testsupport::dataFile("heif/lossy.heic")));
    EXPECT_FALSE(folder2pdf::takenTime(folder.file("damaged.jpg")));
    EXPECT_FALSE(folder2pdf::takenTime(folder.file("missing.jpg")));
    const folder2pdf::PictureDates dates = folder2pdf::systemDates();
    EXPECT_EQ(dates.taken(folder.file("damaged.jpg")), dates.modified(folder.file("damaged.jpg")));
    EXPECT_TRUE(dates.modified(folder.file("damaged.jpg")));
}

// The gray raster of `stream`, turned clockwise `turns` times.
std::vector<std::uint8_t> turned(const std::vector<std::uint8_t>& pixels, int w, int h, int turns) {
    std::vector<std::uint8_t> out(pixels.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t to = turns == 1   ? std::size_t(x) * h + (h - 1 - y)
                                   : turns == 2 ? std::size_t(h - 1 - y) * w + (w - 1 - x)
                                                : std::size_t(w - 1 - x) * h + y;
            out[to] = pixels[std::size_t(y) * w + x];
        }
    }
    return out;
}

// A page turned holds the turned picture's pixels exactly, on the turned
// picture's page; a size not a multiple of the 8 x 8 blocks tests their edges.
TEST(QuarterTurns, PageHoldsTheTurnedPixelsExactly) {
    Folder folder("turns");
    folder.add("noise.bmp", 37, 21, true);
    const std::string picture = folder.file("noise.bmp");
    folder2pdf::PageMaker maker;
    folder2pdf::PreparedPage page;
    maker.prepare(picture, 0, page);
    const auto upright = testsupport::inflate(page.stream.data(), page.stream.size());
    for (int turns = 1; turns <= 3; ++turns) {
        maker.prepare(picture, 0, page, turns);
        const bool sideways = turns != 2;
        EXPECT_EQ(page.Width, sideways ? 21 : 37);
        EXPECT_EQ(page.Height, sideways ? 37 : 21);
        EXPECT_EQ(page.layout.pageW, sideways ? "21" : "37");
        EXPECT_EQ(testsupport::inflate(page.stream.data(), page.stream.size()),
                  turned(upright, 37, 21, turns))
            << turns;
    }
    for (const bool compact : {false, true}) {
        folder2pdf::DocumentOptions options;
        options.color = true;
        options.compression =
            compact ? folder2pdf::Compression::Compact : folder2pdf::Compression::Flate;
        folder2pdf::PageMaker colorMaker(options);
        colorMaker.prepare(picture, 0, page, 3);
        EXPECT_EQ(page.Width, 21);
        EXPECT_EQ(page.Height, 37);
    }
}

std::string draw(const std::string& pdf) {
    const auto result = testsupport::run(
        {"sh", "-c", "mutool draw -q -r 72 -F pgm -o - '" + pdf + "' 2>/dev/null"});
    EXPECT_EQ(result.status, 0) << pdf;
    return result.out;
}

std::string documentOf(const Folder& folder, const std::string& picture, int turns, bool color,
                       const std::string& name) {
    folder2pdf::JobPlan plan;
    plan.pictures.push_back({picture, picture, 0, 1, turns});
    plan.output = folder.file(name);
    plan.options.color = color;
    folder2pdf::JobEvents events;
    folder2pdf::runJob(plan, events);
    return plan.output;
}

// Drawn by MuPDF, a default document of a turned picture is its turned
// pixels; a JPEG under --color keeps its bytes, and a TIFF of Group 4 code
// its code, and draws as the default page of the same turn, its EXIF or
// TIFF orientation composed with the turns.
TEST(QuarterTurns, DocumentsDrawTurnedAndJpegKeepsItsBytes) {
    if (testsupport::onWindows || testsupport::run({"sh", "-c", "command -v mutool"}).status) {
        GTEST_SKIP() << "needs mupdf-tools";
    }
    Folder folder("turned documents");
    folder.add("noise.bmp", 37, 21, true);
    const std::string upright =
        draw(documentOf(folder, folder.file("noise.bmp"), 0, false, "0.pdf"));
    const std::string pgm = draw(documentOf(folder, folder.file("noise.bmp"), 1, false, "1.pdf"));
    ASSERT_EQ(pgm.rfind("P5\n21 37\n255\n", 0), 0u) << pgm.substr(0, 16);
    const std::size_t header = std::string("P5\n37 21\n255\n").size();
    const std::vector<std::uint8_t> pixels(upright.begin() + header, upright.end());
    const auto expected = turned(pixels, 37, 21, 1);
    EXPECT_EQ(pgm.substr(header), std::string(expected.begin(), expected.end()));

    for (const char* file : {"jpeg/orientation-1.jpg", "jpeg/orientation-6.jpg",
                             "tiff/g4-bilevel.tif", "tiff/g4-orientation-6.tif"}) {
        const std::string picture = testsupport::dataFile(file);
        const bool fax = std::string(file).find("g4") != std::string::npos;
        for (int turns = 1; turns <= 3; ++turns) {
            const std::string color = readFile(documentOf(folder, picture, turns, true, "c.pdf"));
            const std::size_t start = color.find("stream\r\n", color.find("/Subtype /Image")) + 8;
            const std::string stream =
                color.substr(start, color.find("\r\nendstream", start) - start);
            if (fax) {
                EXPECT_NE(color.find("/CCITTFaxDecode"), std::string::npos) << file;
                EXPECT_NE(readFile(picture).find(stream), std::string::npos) << file;
            } else {
                EXPECT_EQ(stream, readFile(picture));
            }
            const std::string a = draw(folder.file("c.pdf"));
            const std::string b = draw(documentOf(folder, picture, turns, false, "g.pdf"));
            ASSERT_EQ(a.size(), b.size()) << file << turns;
            EXPECT_EQ(a.substr(0, 16), b.substr(0, 16));
            if (fax) {
                EXPECT_EQ(a, b) << file << turns;
            }
            double sum = 0;
            for (std::size_t i = 16; i < a.size(); ++i) {
                sum += std::abs(int(static_cast<unsigned char>(a[i])) -
                                int(static_cast<unsigned char>(b[i])));
            }
            EXPECT_LT(sum / static_cast<double>(a.size()), 2) << file << turns;
        }
    }
}

}  // namespace
