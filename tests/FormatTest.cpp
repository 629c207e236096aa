// The TIFF, WebP and HEIF decoders and the loader's pages: the samples of
// tools/make-test-pictures.py against the rasters written beside them, and
// what the samples don't show.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/Error.h"
#include "image/Decoders.h"
#include "image/ImgToByte.h"
#include "job/FolderListing.h"

namespace folder2pdf {
namespace {

using namespace std::string_literals;
using Data = std::vector<std::uint8_t>;

Data readData(const std::string& name) {
    const std::string bytes = testsupport::readFile(testsupport::dataFile(name));
    return Data(bytes.begin(), bytes.end());
}

bool exists(const std::string& name) {
    std::FILE* file = std::fopen(testsupport::dataFile(name).c_str(), "rb");
    if (file != nullptr) {
        std::fclose(file);
    }
    return file != nullptr;
}

// The expected raster of each page: NAME.pgm for a file of one picture,
// NAME-1.pgm, NAME-2.pgm... for one of several.
std::vector<std::string> expectedPages(const std::string& name) {
    const std::string stem = name.substr(0, name.rfind('.'));
    if (exists(stem + ".pgm")) {
        return {stem + ".pgm"};
    }
    std::vector<std::string> pages;
    while (exists(stem + "-" + std::to_string(pages.size() + 1) + ".pgm")) {
        pages.push_back(stem + "-" + std::to_string(pages.size() + 1) + ".pgm");
    }
    return pages;
}

GrayImage readPgm(const std::string& name) {
    const std::string text = testsupport::readFile(testsupport::dataFile(name));
    GrayImage image;
    int maxValue = 0, headerEnd = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "P5 %d %d %d%n", &image.Width, &image.Height, &maxValue,
                          &headerEnd),
              3)
        << name;
    image.imgData.assign(text.begin() + headerEnd + 1, text.end());
    return image;
}

// Lossless samples must match exactly; lossy ones ("lossy" in the name),
// whose rasters come from another program's decode, within 2 levels on
// average.
void expectSameRaster(const GrayImage& actual, const GrayImage& expected, bool lossy) {
    ASSERT_EQ(actual.Width, expected.Width);
    ASSERT_EQ(actual.Height, expected.Height);
    ASSERT_EQ(actual.imgData.size(), expected.imgData.size());
    long total = 0;
    int worst = 0;
    std::size_t first = expected.imgData.size();
    for (std::size_t i = 0; i < expected.imgData.size(); ++i) {
        const int difference = std::abs(actual.imgData[i] - expected.imgData[i]);
        total += difference;
        worst = std::max(worst, difference);
        first = difference != 0 && first == expected.imgData.size() ? i : first;
    }
    if (lossy) {
        EXPECT_LE(static_cast<double>(total) / static_cast<double>(expected.imgData.size()), 2.0)
            << "most different by " << worst;
    } else {
        EXPECT_EQ(worst, 0) << "pixel " << first << " differs";
    }
}

std::vector<std::string> samplesIn(const std::string& format) {
    std::vector<std::string> samples;
    for (const std::string& name : testsupport::listFolder(testsupport::dataFile(format))) {
        if (name.substr(name.rfind('.')) != ".pgm" && name.rfind("bad-", 0) != 0) {
            samples.push_back(format + "/" + name);
        }
    }
    return samples;
}

class FormatSamples : public testing::TestWithParam<std::string> {};

// Every page, loaded from the file by its number, as the job loads it.
TEST_P(FormatSamples, EveryPageDecodesToTheExpectedRaster) {
    const std::string& name = GetParam();
    const std::vector<std::string> pages = expectedPages(name);
    ImgToByte loader;
    ASSERT_EQ(loader.countPages(testsupport::dataFile(name)), pages.size());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        SCOPED_TRACE(pages[page]);
        GrayImage image;
        loader.load(testsupport::dataFile(name), image, page);
        expectSameRaster(image, readPgm(pages[page]), name.find("lossy") != std::string::npos);
    }
}

std::string sampleName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(info.param.find('/') + 1);
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Tiff, FormatSamples, testing::ValuesIn(samplesIn("tiff")), sampleName);
INSTANTIATE_TEST_SUITE_P(Webp, FormatSamples, testing::ValuesIn(samplesIn("webp")), sampleName);
INSTANTIATE_TEST_SUITE_P(Heif, FormatSamples, testing::ValuesIn(samplesIn("heif")), sampleName);

// ---------------------------------------------------------------------------
// Refusals: the reason named, and nothing allocated for a size refused.

TEST(Formats, BrokenFilesAndMissingPagesAreRefusedWithTheirReason) {
    struct Case {
        const char* file;
        std::size_t page;
        ErrorReason reason;
        const char* message;
    };
    const Case cases[] = {
        {"tiff/bad-huge-header.tif", 0, ErrorReason::TooLarge, "100,000 x 100,000 pixels"},
        {"tiff/bad-truncated.tif", 0, ErrorReason::Damaged,
         "truncated TIFF: 23 x 17 uncompressed pixels need 1173 bytes, the file has 728"},
        {"tiff/bad-strip-past-the-end.tif", 0, ErrorReason::Damaged,
         "the file ends in the middle of the picture (TIFF: Read error on strip 0"},
        {"webp/bad-truncated.webp", 0, ErrorReason::Damaged, "truncated WebP"},
        {"heif/bad-truncated.heic", 0, ErrorReason::Damaged, "HEIF: "},
        // libheif would decode them at the coded size, whatever the file declares.
        {"heif/bad-coded-larger.heic", 0, ErrorReason::Damaged,
         "HEIF: picture item 1 is coded as 192 x 144 pixels but declares 37 x 29"},
        {"heif/bad-coded-larger-av1.avif", 0, ErrorReason::Damaged,
         "HEIF: picture item 1 is coded as 192 x 144 pixels but declares 37 x 29"},
        {"tiff/three-pages.tif", 3, ErrorReason::Damaged,
         "TIFF: no page 4: the file holds 3 pages"},
        {"webp/lossless.webp", 1, ErrorReason::Damaged, "no page 2: the file holds one picture"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Data file = readData(c.file);
        ImgToByte loader;
        GrayImage image;
        try {
            loader.loadBytes(file.data(), file.size(), image, c.page);
            ADD_FAILURE() << "decoded";
        } catch (const Error& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        if (c.reason == ErrorReason::TooLarge ||
            std::string(c.message).find("declares") != std::string::npos) {
            EXPECT_EQ(image.imgData.capacity(), 0u) << "allocated before the refusal";
        }
    }
}

// ---------------------------------------------------------------------------
// Formats by their first bytes, and pages by the TIFF directory chain.

TEST(Formats, FirstTwelveBytesTellTheFormat) {
    const struct {
        std::string start;
        bool picture;
    } cases[] = {
        {"II*\0"s, true},
        {"MM\0*"s, true},
        {"II+\0"s, true},  // BigTIFF
        {"II*\1"s, false},
        {"RIFF\x10\0\0\0WEBP"s, true},
        {"RIFF\x10\0\0\0WAVE"s, false},
        {"\0\0\0\x18"
         "ftypheic"s,
         true},
        {"\0\0\0\x18"
         "ftypmif1"s,
         true},
        {"\0\0\0\x1c"
         "ftypavif"s,
         true},
        {"\0\0\0\x18"
         "ftypmp42"s,
         false},  // a video
        {"\0\0\0\x18"
         "ftyphei"s,
         false},  // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        Data bytes(c.start.begin(), c.start.end());
        EXPECT_EQ(sniffPicture(bytes.data(), bytes.size()), c.picture);
    }
    EXPECT_EQ(sniffBytes, 12u);
}

// A little-endian TIFF header naming the directory at `first`, and at each
// offset of `directories` an empty one pointing to the offset at the same
// place in `next`.
Data tiffChain(std::uint32_t first, const std::vector<std::uint32_t>& directories,
               const std::vector<std::uint32_t>& next) {
    Data data = {'I', 'I', 42, 0, 0, 0, 0, 0};
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data[at + i] = static_cast<std::uint8_t>(v >> 8 * i);
        }
    };
    put32(4, first);
    for (std::size_t i = 0; i < directories.size(); ++i) {
        data.resize(std::max<std::size_t>(data.size(), directories[i] + 6));
        put32(directories[i] + 2, next[i]);  // after a count of no entries
    }
    return data;
}

TEST(Formats, TiffPagesAreCountedAlongTheChainWithoutLoopsOrOverruns) {
    const struct {
        const char* name;
        Data file;
        std::size_t pages;
    } cases[] = {
        {"two directories", tiffChain(8, {8, 14}, {14, 0}), 2},
        {"a directory pointing to itself", tiffChain(8, {8}, {8}), 1},
        {"the second pointing back to the first", tiffChain(8, {8, 14}, {14, 8}), 2},
        {"the next offset past the end", tiffChain(8, {8}, {4000}), 1},
        {"the second's entries past the end", tiffChain(8, {8}, {12}), 1},
        {"the first offset past the end", tiffChain(4000, {}, {}), 1},
        {"no TIFF", Data{'I', 'I', 42}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pictureCount(c.file.data(), c.file.size()), c.pages);
    }
    std::vector<std::uint32_t> offsets, next;
    for (std::uint32_t i = 0; i <= maxTiffPages; ++i) {
        offsets.push_back(8 + 6 * i);
        next.push_back(8 + 6 * (i + 1));
    }
    next.back() = 0;
    const Data many = tiffChain(8, offsets, next);
    EXPECT_EQ(pictureCount(many.data(), many.size()), maxTiffPages);
}

TEST(Formats, CountPagesReadsOnlyTiffsAndCountsWhatItCannotReadAsOne) {
    ImgToByte loader;
    EXPECT_EQ(loader.countPages(testsupport::dataFile("tiff/three-pages.tif")), 3u);
    EXPECT_EQ(loader.countPages(testsupport::dataFile("heif/lossy-collection.heic")), 1u);
    EXPECT_EQ(loader.countPages(testsupport::dataFile("tiff/no-such-file.tif")), 1u);
}

TEST(Formats, ListingTakesTheNewExtensionsInAnyCase) {
    for (const char* name : {"a.tif", "b.TIFF", "c.webp", "d.HEIC", "e.heif", "f.Avif"}) {
        EXPECT_TRUE(isPictureName(name)) << name;
    }
}

}  // namespace
}  // namespace folder2pdf
