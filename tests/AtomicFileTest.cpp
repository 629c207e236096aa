#include <gtest/gtest.h>
#include <sys/stat.h>

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
    TempDir dir;
    testsupport::writeFile(dir.file("a.pdf"), "old");
    ::chmod(dir.file("a.pdf").c_str(), 0640);
    replace(dir.file("a.pdf"), "new");
    struct stat status;
    ASSERT_EQ(::stat(dir.file("a.pdf").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

}  // namespace
