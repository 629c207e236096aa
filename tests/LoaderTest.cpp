#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "common/Error.h"
#include "image/ImgToByte.h"

using folder2pdf::Bytes;
using folder2pdf::Error;
using folder2pdf::ErrorKind;
using folder2pdf::ImgToByte;
using testsupport::TempDir;

namespace {

// Loads `path` expecting a failure of `kind` whose message names the file.
void expectRefused(const std::string& path, ErrorKind kind) {
    ImgToByte loader;
    Bytes data;
    try {
        loader.load(path, data);
        ADD_FAILURE() << path << " loaded";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

TEST(Loader, RefusesWhatIsNotAReadablePicture) {
    TempDir dir;
    testsupport::writeFile(dir.file("empty.png"), "");
    testsupport::writeFile(dir.file("text.jpg"), "just some text, no picture at all");
    std::filesystem::create_directory(dir.path() / "folder.png");
    const bool fifo = testsupport::makeFifo(dir.file("fifo.png"));
    ASSERT_TRUE(fifo || testsupport::onWindows);
    std::error_code noLinks;
    std::filesystem::create_symlink("gone.png", dir.path() / "dangling.png", noLinks);

    expectRefused(dir.file("empty.png"), ErrorKind::SubscriptOutOfRange);
    expectRefused(dir.file("text.jpg"), ErrorKind::DecodeError);
    expectRefused(dir.file("missing.png"), ErrorKind::FileError);
    expectRefused(dir.file("folder.png"), ErrorKind::FileError);
    if (fifo) {
        expectRefused(dir.file("fifo.png"), ErrorKind::FileError);  // and does not hang
    }
    if (!noLinks) {
        expectRefused(dir.file("dangling.png"), ErrorKind::FileError);
    }
}

}  // namespace
