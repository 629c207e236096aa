#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "common/Error.h"
#include "pdf/AtomicFile.h"

using folder2pdf::replaceFileAtomically;
using testsupport::TempDir;

namespace {

void replace(const std::string& path, const std::string& bytes) {
    replaceFileAtomically(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(AtomicFile, CreatesAndReplaces) {
    TempDir dir;
    replace(dir.file("a.pdf"), "first");
    EXPECT_EQ(testsupport::readFile(dir.file("a.pdf")), "first");
    replace(dir.file("a.pdf"), "2");
    EXPECT_EQ(testsupport::readFile(dir.file("a.pdf")), "2");
    EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"a.pdf"});
}

TEST(AtomicFile, KeepsThePermissionsOfTheReplacedFile) {
    if (testsupport::onWindows) {
        GTEST_SKIP() << "Windows files have no permission bits";
    }
    namespace fs = std::filesystem;
    TempDir dir;
    testsupport::writeFile(dir.file("a.pdf"), "old");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir.path() / "a.pdf", mode);
    replace(dir.file("a.pdf"), "new");
    EXPECT_EQ(fs::status(dir.path() / "a.pdf").permissions(), mode);
}

}  // namespace
