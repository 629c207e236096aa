#include <gtest/gtest.h>

#include <filesystem>

#include "PdfTestPeer.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "job/FolderJob.h"

namespace fs = std::filesystem;

namespace {

// The document is the same byte for byte with any number of workers, and
// however the writer's buffer cuts it into writes: the first, smaller than
// the buffer, goes to disk in one write, as a document held whole in memory.
// The folder mixes every format and many sizes, in an order that mixes them:
// the examples, then some of the decoders' samples.
TEST(PagePipeline, DocumentAndViewCallsAreTheSameWithAnyNumberOfWorkers) {
    testsupport::TempDir dir;
    const fs::path folder = dir.path() / "mixed";
    fs::create_directory(folder);
    const std::string examples = std::string(TEST_DATA_DIR) + "/../../examples/";
    std::vector<std::string> sources;
    for (const std::string& name : testsupport::listFolder(examples)) {
        if (fs::path(name).extension() != ".pdf") {
            sources.push_back(examples + name);
        }
    }
    for (const char* name : {"jpeg/progressive-420.jpg", "png/rgba-8.png", "gif/interlaced.gif",
                             "bmp/rle8.bmp", "jpeg/cmyk-adobe.jpg", "png/interlaced-rgba-16.png"}) {
        sources.push_back(testsupport::dataFile(name));
    }
    std::vector<std::string> pictures;
    for (const std::string& source : sources) {
        const std::string name = "p" + std::to_string(10 + pictures.size());
        pictures.push_back((folder / (name + fs::path(source).extension().string())).string());
        fs::copy_file(source, pictures.back());
    }
    const std::string document = (folder / "mixed.pdf").string();
    std::vector<std::string> sequentialLog;
    std::string sequential;
    for (int workers : {1, 2, 3, 8}) {
        testsupport::RecordingView view;
        view.answer = folder.string();
        folder2pdf::FolderJob job(view, "/");
        job.setWorkers(workers);
        job.openFolder();
        job.generate();
        if (workers == 1) {
            sequentialLog = view.log;
            sequential = testsupport::readFile(document);
            ASSERT_LT(sequential.size(), folder2pdf::pdf::writeBufferBytes);
        }
        EXPECT_EQ(view.log, sequentialLog) << workers << " workers";
        EXPECT_TRUE(testsupport::readFile(document) == sequential) << workers << " workers";
    }
    for (std::size_t buffer : {1, 4099, 65536}) {
        const std::string path = dir.file("streamed.pdf");
        folder2pdf::pdf writer(path);
        folder2pdf::PdfTestPeer::limitBuffer(writer, buffer);
        for (const std::string& picture : pictures) {
            writer.pageOBJ(picture);
        }
        writer.makePDF();
        EXPECT_TRUE(testsupport::readFile(path) == sequential) << buffer << "-byte buffer";
    }
}

}  // namespace
