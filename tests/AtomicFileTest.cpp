#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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
    TempDir dir;
    testsupport::writeFile(dir.file("a.pdf"), "old");
    ::chmod(dir.file("a.pdf").c_str(), 0640);
    replace(dir.file("a.pdf"), "new");
    struct stat status;
    ASSERT_EQ(::stat(dir.file("a.pdf").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(AtomicFile, ReplacesASymbolicLinkNotItsTarget) {
    TempDir dir;
    testsupport::writeFile(dir.file("real.pdf"), "keep me");
    std::filesystem::create_symlink("real.pdf", dir.path() / "link.pdf");
    replace(dir.file("link.pdf"), "new");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / "link.pdf"));
    EXPECT_EQ(testsupport::readFile(dir.file("link.pdf")), "new");
    EXPECT_EQ(testsupport::readFile(dir.file("real.pdf")), "keep me");
}

TEST(AtomicFile, MissingFolderIsAFileErrorNamingThePath) {
    TempDir dir;
    try {
        replace(dir.file("no/such/folder.pdf"), "x");
        FAIL();
    } catch (const folder2pdf::Error& error) {
        EXPECT_EQ(error.kind(), folder2pdf::ErrorKind::FileError);
        EXPECT_NE(std::string(error.what()).find("no/such/folder.pdf"), std::string::npos);
    }
}

// A disk that fills up part-way: the file-size limit makes the write fail
// after some bytes, in a child process so that the limit stays there.
TEST(AtomicFile, FullDiskKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string old(3000, 'o');
    testsupport::writeFile(dir.file("a.pdf"), old);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            replace(dir.file("a.pdf"), std::string(100000, 'n'));
        } catch (const folder2pdf::Error& error) {
            ::_exit(error.kind() == folder2pdf::ErrorKind::FileError ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write succeeded; 2: wrong error kind";
    EXPECT_EQ(testsupport::readFile(dir.file("a.pdf")), old);
    EXPECT_EQ(testsupport::listFolder(dir.path()), std::vector<std::string>{"a.pdf"});
}

}  // namespace
