#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "job/PagePipeline.h"

namespace fs = std::filesystem;

namespace {

// Pages come out in list order, each made from its own picture, with any
// number of workers as on the calling thread. The pictures mix every format
// and many sizes, in an order that mixes them: the examples, then some of
// the decoders' samples.
TEST(PagePipeline, TakesEachPictureItsOwnPageInListOrderWithAnyNumberOfWorkers) {
    const std::string examples = std::string(TEST_DATA_DIR) + "/../../examples/";
    std::vector<std::string> pictures;
    for (const std::string& name : testsupport::listFolder(examples)) {
        if (fs::path(name).extension() != ".pdf") {
            pictures.push_back(examples + name);
        }
    }
    for (const char* name : {"jpeg/progressive-420.jpg", "png/rgba-8.png", "gif/interlaced.gif",
                             "bmp/rle8.bmp", "jpeg/cmyk-adobe.jpg", "png/interlaced-rgba-16.png"}) {
        pictures.push_back(testsupport::dataFile(name));
    }
    std::vector<folder2pdf::Picture> plan;
    for (const std::string& path : pictures) {
        plan.push_back({path, path, 0});
    }
    std::vector<std::string> onCaller;
    for (int workers : {1, 2, 3, 8}) {
        folder2pdf::PagePipeline pipeline(plan, workers);
        std::vector<std::string> pages;
        for (std::size_t k = 0; k < pictures.size(); ++k) {
            const folder2pdf::PreparedPage& page = pipeline.take(k);
            EXPECT_EQ(page.path, pictures[k]);
            pages.push_back(std::to_string(page.Width) + " x " + std::to_string(page.Height) +
                            ": " + std::string(page.stream.begin(), page.stream.end()));
        }
        if (workers == 1) {
            onCaller = pages;
        }
        EXPECT_TRUE(pages == onCaller) << workers << " workers";
    }
}

}  // namespace
