#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "common/Error.h"
#include "pdf/AtomicFile.h"

namespace {

TEST(AtomicFile, ReplacesKeepingThePermissionsOfTheReplacedFile) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("a.pdf"), "old");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir.path() / "a.pdf", mode);
    folder2pdf::AtomicFile file(dir.file("a.pdf"));
    file.write(reinterpret_cast<const std::uint8_t*>("2"), 1);
    file.commit();
    EXPECT_EQ(testsupport::readFile(dir.file("a.pdf")), "2");
    EXPECT_EQ(testsupport::listFolder(dir.file("")), std::vector<std::string>{"a.pdf"});
    if (!testsupport::onWindows) {  // Windows files have no permission bits
        EXPECT_EQ(fs::status(dir.path() / "a.pdf").permissions(), mode);
    }
}

// On Windows, a target another program holds: the complete file is kept,
// hidden, for a retry of the rename, or removed when given up.
TEST(AtomicFile, HeldTargetKeepsTheCompleteFileForARetryOrRemovesIt) {
    if (!testsupport::onWindows) {
        GTEST_SKIP() << "only Windows holds files against their replacing";
    }
    for (const bool retried : {true, false}) {
        testsupport::TempDir dir;
        testsupport::writeFile(dir.file("a.pdf"), "old");
        {
            folder2pdf::AtomicFile file(dir.file("a.pdf"));
            file.write(reinterpret_cast<const std::uint8_t*>("2"), 1);
            testsupport::whileUnwritable(dir.file("a.pdf"), [&] {
                EXPECT_THROW(file.commit(), folder2pdf::Error);
                EXPECT_THROW(file.commit(), folder2pdf::Error);
            });
            EXPECT_EQ(testsupport::listFolder(dir.file("")).size(), 2u);
            if (retried) {
                file.commit();
            }
        }
        EXPECT_EQ(testsupport::readFile(dir.file("a.pdf")), retried ? "2" : "old");
        EXPECT_EQ(testsupport::listFolder(dir.file("")), std::vector<std::string>{"a.pdf"});
    }
}

}  // namespace
