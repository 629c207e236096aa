#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "PdfTestPeer.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "common/Error.h"
#include "job/FolderJob.h"

using folder2pdf::Error;
using folder2pdf::FolderJob;
using testsupport::RecordingView;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

std::string examples() {
    return std::string(TEST_DATA_DIR) + "/../../examples";
}

// A folder of every format and many sizes: the examples and the decoders'
// samples, in an order that mixes them.
struct MixedFolder {
    TempDir dir;
    fs::path folder = dir.path() / "mixed";
    std::vector<std::string> names;

    MixedFolder() {
        fs::create_directory(folder);
        int n = 0;
        auto add = [&](const fs::path& source) {
            char name[16];
            std::snprintf(name, sizeof name, "p%02d", ++n);
            const std::string target = name + source.extension().string();
            fs::copy_file(source, folder / target);
            names.push_back(target);
        };
        for (const std::string& name : testsupport::listFolder(examples())) {
            if (fs::path(name).extension() != ".pdf") {
                add(fs::path(examples()) / name);
            }
        }
        for (const char* name :
             {"jpeg/progressive-420.jpg", "png/rgba-8.png", "gif/interlaced.gif", "bmp/rle8.bmp",
              "jpeg/cmyk-adobe.jpg", "png/interlaced-rgba-16.png"}) {
            add(testsupport::dataFile(name));
        }
    }

    std::string pdf() const { return (folder / "mixed.pdf").string(); }
};

// Opens `folder` and runs Generate with `workers`; returns the view's log.
std::vector<std::string> convert(const fs::path& folder, int workers,
                                 std::function<void(FolderJob&, int)> onEvents = nullptr) {
    RecordingView view;
    view.answer = folder.string();
    FolderJob job(view, "/");
    job.setWorkers(workers);
    if (onEvents) {
        view.onEvents = [&](int count) { onEvents(job, count); };
    }
    job.openFolder();
    job.generate();
    return view.log;
}

// The document is the same byte for byte with any number of workers, and
// however the writer's buffer cuts it into writes: the first, smaller than
// the buffer, goes to disk in one write, as a document held whole in memory.
TEST(PagePipeline, DocumentAndViewCallsAreTheSameWithAnyNumberOfWorkers) {
    MixedFolder mixed;
    ASSERT_GE(mixed.names.size(), 8u);
    const auto sequentialLog = convert(mixed.folder, 1);
    const std::string sequential = testsupport::readFile(mixed.pdf());
    ASSERT_LT(sequential.size(), folder2pdf::pdf::writeBufferBytes);
    for (int workers : {2, 3, 8}) {
        const auto log = convert(mixed.folder, workers);
        EXPECT_EQ(log, sequentialLog) << workers << " workers";
        EXPECT_TRUE(testsupport::readFile(mixed.pdf()) == sequential) << workers << " workers";
    }
    for (std::size_t buffer : {1, 4099, 65536}) {
        const std::string path = mixed.dir.file("streamed.pdf");
        folder2pdf::pdf writer(path);
        folder2pdf::PdfTestPeer::limitBuffer(writer, buffer);
        for (const std::string& name : mixed.names) {
            writer.pageOBJ((mixed.folder / name).string());
        }
        writer.makePDF();
        EXPECT_TRUE(testsupport::readFile(path) == sequential) << buffer << "-byte buffer";
    }
}

TEST(PagePipeline, FirstFailureInListOrderIsTheOneReported) {
    MixedFolder mixed;
    testsupport::writeFile(mixed.pdf(), "earlier document");
    // p00 fails late (a JPEG cut short decodes for a while first); p01, an
    // empty file, fails at once on another worker. The error is p00's.
    const std::string photo = testsupport::readFile(examples() + "/02-plasma.jpg");
    testsupport::writeFile((mixed.folder / "p00.jpg").string(),
                           photo.substr(0, photo.size() * 3 / 4));
    testsupport::writeFile((mixed.folder / "p01.png").string(), "");
    const std::size_t threadsBefore = testsupport::threadCount();
    for (int workers : {1, 2, 4}) {
        try {
            convert(mixed.folder, workers);
            ADD_FAILURE() << "the run succeeded";
        } catch (const Error& error) {
            EXPECT_NE(std::string(error.what()).find("p00.jpg"), std::string::npos) << error.what();
        }
        EXPECT_EQ(testsupport::readFile(mixed.pdf()), "earlier document");
        EXPECT_EQ(testsupport::threadCount(), threadsBefore);
    }
}

TEST(PagePipeline, StopDuringARunWritesNothingAndLeavesNoThread) {
    MixedFolder mixed;
    const std::size_t threadsBefore = testsupport::threadCount();
    const auto log = convert(mixed.folder, 3, [](FolderJob& job, int picture) {
        if (picture == 3) {
            job.requestStop();
        }
    });
    EXPECT_EQ(log.back(), "showMessage(stopped 2)");
    EXPECT_FALSE(fs::exists(mixed.pdf()));
    EXPECT_EQ(testsupport::threadCount(), threadsBefore);
    const auto leftovers = testsupport::listFolder(mixed.folder.string());
    EXPECT_EQ(leftovers.size(), mixed.names.size()) << "no temporary file";
}

}  // namespace
