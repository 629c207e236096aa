#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "TestSupport.h"
#include "image/ImgToByte.h"
#include "job/ThumbnailCache.h"
#include "page/JpegEncoder.h"

using namespace folder2pdf;
using testsupport::TempDir;

namespace {

// A colour JPEG of w x h: a gradient, its top left quarter dark; with an
// EXIF orientation segment when `orientation` is not 0.
std::string jpegPicture(int w, int h, int orientation = 0) {
    GrayImage image{w, h, {}, 3};
    image.imgData.resize(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &image.imgData[(static_cast<std::size_t>(y) * w + x) * 3];
            const bool dark = x < w / 2 && y < h / 2;
            p[0] = dark ? 10 : static_cast<std::uint8_t>(120 + 100 * x / w);
            p[1] = dark ? 10 : 200;
            p[2] = dark ? 10 : static_cast<std::uint8_t>(50 + 150 * y / h);
        }
    }
    Bytes out;
    encodeJpeg(image, 90, out);
    std::string file(out.begin(), out.end());
    if (orientation != 0) {
        // APP1: "Exif\0\0", a little-endian TIFF header, one directory of one SHORT.
        const char exif[] = {'\xFF', '\xE1', 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                             1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, static_cast<char>(orientation), 0, 0, 0,
                             0, 0, 0, 0};
        file.insert(2, exif, sizeof exif);
    }
    return file;
}

Thumbnail thumbnailOf(const std::string& file, const ThumbnailRequest& request) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(file.data());
    return makeThumbnail(data, file.size(), request, [](std::uint64_t) {});
}

double meanOf(const std::uint8_t* pixels, std::size_t count) {
    return std::accumulate(pixels, pixels + count, 0.0) / static_cast<double>(count);
}

// Polls until `count` thumbnails were ready or the cache is idle, for at
// most ten seconds.
std::vector<ThumbnailKey> readyAfter(ThumbnailCache& cache, std::size_t count) {
    std::vector<ThumbnailKey> ready;
    for (int i = 0; i < 1000 && ready.size() < count && !(i > 0 && cache.idle()); ++i) {
        for (ThumbnailKey& key : cache.takeReady()) {
            ready.push_back(std::move(key));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (ThumbnailKey& key : cache.takeReady()) {
        ready.push_back(std::move(key));
    }
    return ready;
}

}  // namespace

TEST(Thumbnail, JpegFitsTheBoxWithTheLevelsOfTheWholeDecode) {
    const std::string file = jpegPicture(800, 400);
    for (bool reduced : {true, false}) {
        const Thumbnail gray = thumbnailOf(file, {0, 96, 0, false, reduced});
        EXPECT_EQ(gray.width, 96);
        EXPECT_EQ(gray.height, 48);
        ASSERT_EQ(gray.channels, 1);
        GrayImage whole;
        ImgToByte().loadBytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), whole);
        EXPECT_NEAR(meanOf(gray.pixels.data(), gray.pixels.size()),
                    meanOf(whole.imgData.data(), whole.imgData.size()), 2.0);
        const Thumbnail color = thumbnailOf(file, {0, 96, 0, true, reduced});
        EXPECT_EQ(color.channels, 3);
        EXPECT_EQ(color.pixels.size(), std::size_t{96 * 48 * 3});
    }
}

TEST(Thumbnail, ExifAndQuarterTurnsSwapTheSidesAndMoveTheDarkCorner) {
    struct Case {
        int orientation, turns, width, height;
        bool darkLeft, darkTop;
    };
    // EXIF 6 is stored turned a quarter counter-clockwise: upright, the
    // stored top left lies top right.
    const Case cases[] = {{1, 0, 96, 48, true, true},  {1, 1, 48, 96, false, true},
                          {1, 2, 96, 48, false, false}, {6, 0, 48, 96, false, true},
                          {6, -1, 96, 48, true, true},  {3, 0, 96, 48, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.orientation << " " << c.turns);
        const Thumbnail t = thumbnailOf(jpegPicture(400, 200, c.orientation), {0, 96, c.turns, false});
        ASSERT_EQ(t.width, c.width);
        ASSERT_EQ(t.height, c.height);
        const auto level = [&](int x, int y) { return t.pixels[static_cast<std::size_t>(y) * t.width + x]; };
        const int x = c.darkLeft ? 2 : t.width - 3;
        const int y = c.darkTop ? 2 : t.height - 3;
        EXPECT_LT(level(x, y), 40);
        EXPECT_GT(level(t.width - 1 - x, t.height - 1 - y), 100);
    }
}

TEST(ThumbnailCache, KeepsItsBudgetAndTheMostWantedWhileMakingMany) {
    TempDir dir;
    std::vector<ThumbnailKey> keys;
    for (int i = 0; i < 60; ++i) {
        keys.push_back({dir.file("p" + std::to_string(i) + ".jpg"), 0, 0, true});
        testsupport::writeFile(keys.back().path, jpegPicture(300 + i, 200));
    }
    // Room for about twenty thumbnails of 64 x 43 in colour beside the decodes.
    const std::uint64_t budget = 300 * 1024;
    ThumbnailCache cache({64, budget, 2, {}});
    cache.want(keys);
    readyAfter(cache, keys.size());
    EXPECT_LE(cache.peakMemory(), budget);
    for (std::size_t i = 0; i < 5; ++i) {
        const auto thumbnail = cache.find(keys[i]);
        ASSERT_TRUE(thumbnail);
        EXPECT_FALSE(thumbnail->failed());
    }
    EXPECT_FALSE(cache.find(keys.back()));
}

TEST(ThumbnailCache, ChangedFilesAreMadeAgainAndDamagedOnesFail) {
    TempDir dir;
    const ThumbnailKey photo{dir.file("a.jpg"), 0, 0, false};
    const ThumbnailKey damaged{dir.file("b.jpg"), 0, 0, false};
    testsupport::writeFile(photo.path, jpegPicture(200, 100));
    testsupport::writeFile(damaged.path, jpegPicture(200, 100).substr(0, 300));
    ThumbnailCache cache({96, std::uint64_t{64} << 20, 1, {}});
    cache.want({photo, damaged});
    ASSERT_EQ(readyAfter(cache, 2).size(), 2u);
    EXPECT_EQ(cache.find(photo)->width, 96);
    ASSERT_TRUE(cache.find(damaged)->failed());
    EXPECT_NE(cache.find(damaged)->error.find("b.jpg"), std::string::npos);

    cache.want({photo, damaged});  // unchanged: nothing made again
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(cache.takeReady().empty());
    testsupport::writeFile(photo.path, jpegPicture(100, 200));
    cache.want({photo});
    ASSERT_EQ(readyAfter(cache, 1).size(), 1u);
    EXPECT_EQ(cache.find(photo)->width, 48);
}

TEST(ThumbnailCache, StopsPromptlyWithALongQueue) {
    TempDir dir;
    const std::string path = dir.file("big.jpg");
    testsupport::writeFile(path, jpegPicture(2000, 1500));
    const auto start = std::chrono::steady_clock::now();
    {
        ThumbnailCache cache({96, std::uint64_t{64} << 20, 2, {}});
        std::vector<ThumbnailKey> keys;
        for (int turns = 0; turns < 1000; ++turns) {
            keys.push_back({path, 0, turns, turns % 2 == 0});
        }
        cache.want(keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}
