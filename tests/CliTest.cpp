#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::Folder;
using testsupport::Names;
using testsupport::readFile;
using testsupport::runProgram;

namespace {

// A path as the program prints it: with "\\" on Windows.
std::string shown(std::string path) {
    std::replace(path.begin(), path.end(), '/', testsupport::onWindows ? '\\' : '/');
    return path;
}

// The page sizes of a document of ours, in page order; qpdf checks it too.
Names pageSizes(const std::string& pdfPath) {
    testsupport::expectQpdfAccepts(pdfPath);
    const std::string document = readFile(pdfPath);
    const std::regex mediaBox(R"(/MediaBox \[0 0 (\d+) (\d+)\])");
    Names sizes;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), mediaBox);
         it != std::sregex_iterator(); ++it) {
        sizes.push_back((*it)[1].str() + "x" + (*it)[2].str());
    }
    return sizes;
}

// The document is named after the folder and takes what --list shows, in
// that order: hidden files, sub-folders, the folder's own document and
// files that are no pictures by their first bytes left out (and named on
// standard error), links to pictures followed, the content deciding the
// format.
TEST(CliFolder, ListAndDocumentTakeThePicturesInNaturalOrder) {
    Folder folder("我的 照片.jpg");
    folder.add("b 2.bmp", 7, 3);
    folder.add("a10.bmp", 10, 3);
    folder.add("a9.bmp", 9, 3);
    folder.add("Z.PNG", 5, 5);
    folder.add("c.jpeg", 2, 2);
    folder.add("d.JFIF", 3, 2);
    folder.add("e.png.txt", 4, 1);
    folder.add(".hidden.png", 4, 4);
    folder.add("notes.txt", 3, 3);
    testsupport::writeFile(folder.file("x.jpg - 快捷方式.lnk"),
                           std::string("L\0\0\0\1\x14\2\0", 8));
    fs::create_directory(testsupport::u8path(folder.file("sub.jpg")));
    testsupport::linkOrCopy("a9.bmp", folder.file("link.gif"));
    const Names before = testsupport::listFolder(folder.path);
    const std::string listed =
        "a9.bmp\na10.bmp\nb 2.bmp\nc.jpeg\nd.JFIF\ne.png.txt\nlink.gif\nZ.PNG\n";
    const std::string leftOut =
        "left out: x.jpg - 快捷方式.lnk: not a BMP, GIF, JPEG or PNG picture\n";
    const auto list = runProgram({"--list", folder.path});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, listed);
    EXPECT_EQ(list.err, leftOut);
    EXPECT_EQ(testsupport::listFolder(folder.path), before);

    const auto result = runProgram({folder.path + "/"});
    const std::string output = folder.file("我的 照片.jpg.pdf");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, shown(output) + "\n");
    EXPECT_EQ(result.err, "");  // no progress line when stderr is not a terminal
    EXPECT_EQ(pageSizes(output), (Names{"9x3", "10x3", "7x3", "2x2", "3x2", "4x1", "9x3", "5x5"}));
    Names after = before;
    after.push_back("我的 照片.jpg.pdf");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(testsupport::listFolder(folder.path), after);
    const auto again = runProgram({"--list", folder.path});
    EXPECT_EQ(again.out, listed);
    EXPECT_EQ(again.err, leftOut);
}

// The pictures given, in the order given, then the folder itself, in a path
// deeper than the 260 characters that once bounded a path on Windows.
TEST(CliPictures, OutputFormTakesTheOrderGivenEvenInALongPath) {
    const std::string deep = std::string(100, 'd') + "/";
    Folder folder(deep + deep + deep + "相册");
    folder.add("a.bmp", 4, 2);
    folder.add("b.bmp", 6, 2);
    const std::string out = folder.file("out.pdf");
    const auto result = runProgram({"-o", out, folder.file("b.bmp"), folder.file("a.bmp")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, shown(out) + "\n");
    EXPECT_EQ(pageSizes(out), (Names{"6x2", "4x2"}));
    EXPECT_EQ(runProgram({folder.path}).status, 0);
    EXPECT_EQ(pageSizes(folder.file("相册.pdf")), (Names{"4x2", "6x2"}));
}

// On Windows, a document held open by a reader: a hold that ends within a
// second is waited out; one that lasts is reported before any page, the
// earlier document kept. A program killed mid-run leaves nothing behind.
TEST(CliFolder, HeldDocumentIsWaitedForOrReportedAndAKilledRunLeavesNothing) {
    if (!testsupport::onWindows) {
        GTEST_SKIP() << "only Windows holds files against their replacing";
    }
    Folder folder("held");
    folder.add("a.bmp", 3, 2);
    folder.add("noise.bmp", 1500, 1500, true);
    const std::string document = folder.file("held.pdf");
    testsupport::writeFile(document, "earlier");
    const Names before = testsupport::listFolder(folder.path);
    testsupport::whileUnwritable(document, [&] {
        const auto held = runProgram({folder.path});
        EXPECT_EQ(held.status, 1);
        EXPECT_EQ(held.err, "folder2pdf: " + shown(document) +
                                ": cannot replace: in use by another program\n");
    });
    const auto killed = runProgram({folder.path}, {false, "", folder.path});
    EXPECT_EQ(killed.status, 9);
    EXPECT_EQ(readFile(document), "earlier");
    EXPECT_EQ(testsupport::listFolder(folder.path), before);

    std::thread hold = testsupport::holdAsReader(document, 1000);
    const auto waited = runProgram({folder.path});
    hold.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(pageSizes(document), (Names{"3x2", "1500x1500"}));
}

TEST(CliUsage, WrongArgumentsExitWithTwoAndTheUsage) {
    const std::vector<Names> cases = {
        {},
        {"a", "b"},
        {"--list"},
        {"--list", "-o", "x.pdf", "a.png"},
        {"--bogus", "d"},
        {"-o"},
        {"-o", "x.pdf"},
        {""},
        {"--jobs", "0", "d"},
        {"-j", "1025", "d"},
    };
    for (const Names& arguments : cases) {
        const auto result = runProgram(arguments);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("usage: folder2pdf"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

TEST(CliTerminal, ProgressLineShowsEachPictureAndQuietNothing) {
    if (testsupport::onWindows) {
        GTEST_SKIP() << "needs a pseudo-terminal and POSIX signals";
    }
    Folder folder("p");
    folder.add("照片 1.bmp", 2, 2);
    folder.add("照片 2.bmp", 2, 2);
    const auto run = runProgram({folder.path}, {true, "", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("\r[1/2] 照片 1.bmp"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\r[2/2] 照片 2.bmp  "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" left"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\r\033[Kdone: 2 pages in "), std::string::npos) << run.err;
    EXPECT_EQ(run.out, folder.file("p.pdf") + "\n");
    std::filesystem::remove(folder.file("p.pdf"));
    const auto quiet = runProgram({"--quiet", folder.path}, {true, "", ""});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(fs::exists(folder.file("p.pdf")));
}

TEST(CliTerminal, CtrlCStopsEitherFormAndWritesNothing) {
    if (testsupport::onWindows) {
        GTEST_SKIP() << "needs a pseudo-terminal and POSIX signals";
    }
    // Enough large noisy pictures that the run is far from done when the
    // second picture shows up on the terminal.
    Folder folder("long");
    folder.add("noise.bmp", 1000, 1000, true);
    Names pictures{"-o", folder.file("long.pdf"), folder.file("noise.bmp")};
    for (int i = 1; i <= 60; ++i) {
        fs::create_symlink("noise.bmp", folder.file("page" + std::to_string(i) + ".bmp"));
        pictures.push_back(folder.file("page" + std::to_string(i) + ".bmp"));
    }
    const std::string earlier = "%PDF-1.4 an earlier run\n";
    testsupport::writeFile(folder.file("long.pdf"), earlier);
    const Names before = testsupport::listFolder(folder.path);

    for (const Names& arguments : {Names{folder.path}, pictures}) {
        const auto run = runProgram(arguments, {true, "[2/61]", ""});
        EXPECT_EQ(run.status, 130) << "a negative status is a signal";
        EXPECT_NE(run.err.find("stopped after "), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readFile(folder.file("long.pdf")), earlier);
        EXPECT_EQ(testsupport::listFolder(folder.path), before);  // no temporary file
    }
}

}  // namespace
