#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "RecordingView.h"
#include "TestSupport.h"
#include "common/Error.h"
#include "job/FolderJob.h"

using folder2pdf::DocumentWriter;
using folder2pdf::Error;
using folder2pdf::ErrorKind;
using folder2pdf::FolderJob;
using testsupport::RecordingView;
using testsupport::TempDir;
using Names = std::vector<std::string>;

namespace {

struct RecordingWriter : DocumentWriter {
    RecordingView& view;
    std::function<void(const std::string&)>& onPage;
    RecordingWriter(RecordingView& v, std::function<void(const std::string&)>& hook)
        : view(v), onPage(hook) {}
    void pageOBJ(const std::string& path) override {
        view.log.push_back("pageOBJ(" + path + ")");
        if (onPage) {
            onPage(path);
        }
    }
    void appendPage(const folder2pdf::PreparedPage& page) override {
        view.log.push_back("appendPage(" + std::to_string(page.width) + "x" +
                           std::to_string(page.height) + ")");
    }
    void makePDF(const std::string& path) override { view.log.push_back("makePDF(" + path + ")"); }
};

class FolderJobTest : public ::testing::Test {
  protected:
    RecordingView view;
    std::map<std::string, Names> folders{
        {"/pics/mixed", {"a.JPG", "b.png.txt", "e.jpeg", "notes.txt", "d.Gif"}},
        {"/pics/trip", {"p1.png", "p2.bmp", "p3.gif"}},
        {"/pics/empty", {"readme.txt"}},
        {"/", {"a.png"}},
    };
    std::function<void(const std::string&)> onPage;
    FolderJob job{view, "/prog",
                  [this](const std::string& folder) {
                      const auto found = folders.find(folder);
                      if (found == folders.end()) {
                          throw Error(ErrorKind::FileError, folder + ": cannot list the folder");
                      }
                      return found->second;
                  },
                  [this] {
                      view.log.push_back("newWriter");
                      return std::make_unique<RecordingWriter>(view, onPage);
                  }};

    // Opens a folder and forgets the calls that took.
    void open(const std::string& folder) {
        view.answer = folder;
        job.openFolder();
        view.log.clear();
    }
};

const Names tripRun = {
    "newWriter",
    "showProgressRange(0,4)",
    "showProgress(1)",
    "runPendingEvents",
    "pageOBJ(/pics/trip/p1.png)",
    "showProgress(2)",
    "runPendingEvents",
    "pageOBJ(/pics/trip/p2.bmp)",
    "showProgress(3)",
    "runPendingEvents",
    "pageOBJ(/pics/trip/p3.gif)",
    "showProgress(0)",
    "makePDF(/pics/trip/trip.pdf)",
    "showMessage(完成！)",
};

TEST_F(FolderJobTest, OpenKeepsPictureNamesInListingOrderAndShowsTheCount) {
    view.answer = "/pics/mixed";
    job.openFolder();
    EXPECT_EQ(view.log,
              (Names{"chooseFolder(请选择图片文件夹,/prog)", "clearEntries", "addEntry(a.JPG)",
                     "addEntry(b.png.txt)", "addEntry(d.Gif)", "showMessage( 共3幅)"}));
    EXPECT_EQ(job.entries(), (Names{"a.JPG", "b.png.txt", "d.Gif"}));
    EXPECT_EQ(job.folder(), "/pics/mixed");
}

TEST_F(FolderJobTest, FilterFindsTheFourExtensionsAnywhereInAnyCase) {
    folders["/f"] = {"x.BMP", "y.gIf",          "jpg",   "z.Png.bak", "w.jpe",
                     "v.pn",  "photo.jpg.jpeg", "t.tiff"};
    open("/f");
    EXPECT_EQ(job.entries(), (Names{"x.BMP", "y.gIf", "z.Png.bak", "photo.jpg.jpeg"}));
}

TEST_F(FolderJobTest, SecondOpenReplacesTheWholeList) {
    open("/pics/mixed");
    open("/pics/trip");
    EXPECT_EQ(view.rows, (Names{"p1.png", "p2.bmp", "p3.gif"}));
    EXPECT_EQ(job.entries(), view.rows);
    EXPECT_EQ(view.message, " 共3幅");
}

TEST_F(FolderJobTest, CancelledOpenChangesNothingAndGenerateStillUsesTheFirstFolder) {
    open("/pics/trip");
    view.answer = "";
    job.openFolder();
    EXPECT_EQ(view.log, (Names{"chooseFolder(请选择图片文件夹,/prog)"}));
    EXPECT_EQ(job.entries(), view.rows);
    EXPECT_EQ(view.message, " 共3幅");
    view.log.clear();
    job.generate();
    EXPECT_EQ(view.log, tripRun);
}

TEST_F(FolderJobTest, FailedListingChangesNeitherJobNorView) {
    open("/pics/trip");
    view.answer = "/pics/missing";
    EXPECT_THROW(job.openFolder(), Error);
    EXPECT_EQ(view.log, (Names{"chooseFolder(请选择图片文件夹,/prog)"}));
    EXPECT_EQ(job.folder(), "/pics/trip");
    EXPECT_EQ(job.entries(), (Names{"p1.png", "p2.bmp", "p3.gif"}));
    EXPECT_EQ(job.outputPath(), "/pics/trip/trip.pdf");
}

TEST_F(FolderJobTest, FolderWithoutPicturesListsNothingAndGenerateDoesNothing) {
    open("/pics/trip");
    view.answer = "/pics/empty";
    job.openFolder();
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(job.entries().empty());
    EXPECT_EQ(view.message, " 共0幅");
    view.log.clear();
    job.generate();
    EXPECT_TRUE(view.log.empty());
}

struct MoveCase {
    int selected;
    bool up;
    Names rows;
    int selectedAfter;
};

class FolderJobMoveTest : public FolderJobTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(FolderJobMoveTest, MovesSwapWithTheNeighbourOrChangeNothingAtTheEnds) {
    const MoveCase& c = GetParam();
    open("/pics/trip");
    view.selected = c.selected;
    c.up ? job.moveUp() : job.moveDown();
    EXPECT_EQ(view.rows, c.rows);
    EXPECT_EQ(job.entries(), c.rows);
    EXPECT_EQ(view.selected, c.selectedAfter);
    if (c.selected == c.selectedAfter) {
        EXPECT_TRUE(view.log.empty());
    }
}

const Names unmoved = {"p1.png", "p2.bmp", "p3.gif"};
INSTANTIATE_TEST_SUITE_P(Moves, FolderJobMoveTest,
                         ::testing::Values(MoveCase{1, true, {"p2.bmp", "p1.png", "p3.gif"}, 0},
                                           MoveCase{1, false, {"p1.png", "p3.gif", "p2.bmp"}, 2},
                                           MoveCase{2, true, {"p1.png", "p3.gif", "p2.bmp"}, 1},
                                           MoveCase{0, false, {"p2.bmp", "p1.png", "p3.gif"}, 1},
                                           MoveCase{0, true, unmoved, 0},
                                           MoveCase{-1, true, unmoved, -1},
                                           MoveCase{2, false, unmoved, 2},
                                           MoveCase{-1, false, unmoved, -1},
                                           MoveCase{3, true, unmoved, 3}));

TEST_F(FolderJobTest, RepeatedMoveCarriesTheEntryFurther) {
    open("/pics/trip");
    view.selected = 0;
    job.moveDown();
    job.moveDown();
    EXPECT_EQ(job.entries(), (Names{"p2.bmp", "p3.gif", "p1.png"}));
    EXPECT_EQ(view.selected, 2);
}

TEST_F(FolderJobTest, GenerateMakesTheDesignedSequenceOfCalls) {
    open("/pics/trip");
    job.generate();
    EXPECT_EQ(view.log, tripRun);
    EXPECT_FALSE(job.stopped());
}

TEST_F(FolderJobTest, GenerateTwiceWritesTheSameDocumentWithAFreshWriter) {
    open("/pics/trip");
    job.generate();
    job.generate();
    Names twice = tripRun;
    twice.insert(twice.end(), tripRun.begin(), tripRun.end());
    EXPECT_EQ(view.log, twice);
}

TEST_F(FolderJobTest, PathsJoinWithOneSeparatorEvenAtTheRoot) {
    open("/");
    job.generate();
    EXPECT_EQ(view.log.at(4), "pageOBJ(//a.png)");
    EXPECT_EQ(view.log.at(6), "makePDF(//.pdf)");
}

TEST_F(FolderJobTest, FailingPictureRestoresProgressAndKeepsEverythingElse) {
    open("/pics/trip");
    view.selected = 1;
    onPage = [](const std::string& path) {
        if (path == "/pics/trip/p2.bmp") {
            throw Error(ErrorKind::DecodeError, path + ": broken");
        }
    };
    EXPECT_THROW(job.generate(), Error);
    const Names expected(tripRun.begin(), tripRun.begin() + 8);
    EXPECT_EQ(Names(view.log.begin(), view.log.end() - 1), expected);
    EXPECT_EQ(view.log.back(), "showProgress(0)");
    EXPECT_EQ(job.entries(), unmoved);
    EXPECT_EQ(view.rows, unmoved);
    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(view.message, " 共3幅");
    EXPECT_FALSE(job.running());

    onPage = nullptr;
    view.log.clear();
    job.generate();
    EXPECT_EQ(view.log, tripRun);
}

TEST_F(FolderJobTest, CommandsArrivingDuringARunAreRefused) {
    open("/pics/trip");
    view.onEvents = [this](int) {
        EXPECT_TRUE(job.running());
        view.answer = "/pics/mixed";
        job.openFolder();
        job.generate();
        view.selected = 1;
        job.moveUp();
        job.moveDown();
        view.selected = -1;
    };
    job.generate();
    EXPECT_EQ(view.log, tripRun);
    EXPECT_EQ(job.entries(), unmoved);
    EXPECT_FALSE(job.running());
}

TEST_F(FolderJobTest, StopRequestEndsTheRunBeforeTheNextPictureAndWritesNothing) {
    open("/pics/trip");
    view.onEvents = [this](int count) {
        if (count == 2) {
            job.requestStop();
        }
    };
    job.generate();
    Names expected(tripRun.begin(), tripRun.begin() + 7);
    expected.insert(expected.end(), {"showProgress(0)", "showMessage(已停止)"});
    EXPECT_EQ(view.log, expected);
    EXPECT_TRUE(job.stopped());

    view.onEvents = nullptr;
    view.log.clear();
    job.generate();
    EXPECT_EQ(view.log, tripRun);
    EXPECT_FALSE(job.stopped());
}

TEST_F(FolderJobTest, StopRequestDuringTheLastPictureStillWritesNothing) {
    open("/pics/trip");
    onPage = [this](const std::string& path) {
        if (path == "/pics/trip/p3.gif") {
            job.requestStop();
        }
    };
    job.generate();
    EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "makePDF(/pics/trip/trip.pdf)"), 0);
    EXPECT_EQ(view.log.back(), "showMessage(已停止)");
    EXPECT_TRUE(job.stopped());
}

TEST_F(FolderJobTest, StopRequestBeforeTheRunStopsItBeforeTheFirstPicture) {
    open("/pics/trip");
    job.requestStop();
    job.generate();
    EXPECT_EQ(view.log, (Names{"newWriter", "showProgressRange(0,4)", "showProgress(1)",
                               "runPendingEvents", "showProgress(0)", "showMessage(已停止)"}));
}

// The real writer: a picture that fails leaves an earlier document as it was.
TEST(FolderJobOnDisk, FailingPictureLeavesTheEarlierPdfByteForByte) {
    TempDir dir;
    const std::string folder = dir.path().string();
    const std::string output = dir.file(dir.path().filename().string() + ".pdf");
    testsupport::writeFile(output, std::string("%PDF-1.4 earlier document\n"));
    testsupport::writeFile(dir.file("a.png"), std::string("not a picture at all"));
    RecordingView view;
    view.answer = folder;
    FolderJob job(view, "/prog");
    job.openFolder();
    try {
        job.generate();
        FAIL() << "generate accepted a broken picture";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("a.png"), std::string::npos) << error.what();
    }
    EXPECT_EQ(testsupport::readFile(output), "%PDF-1.4 earlier document\n");
    EXPECT_EQ(testsupport::listFolder(folder).size(), 2u);  // no temporary file left
}

struct OrderCase {
    const char* before;
    const char* after;
};

class NaturalOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrderTest, ComesFirst) {
    const OrderCase& c = GetParam();
    EXPECT_TRUE(folder2pdf::naturalLess(c.before, c.after));
    EXPECT_FALSE(folder2pdf::naturalLess(c.after, c.before));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, NaturalOrderTest,
    ::testing::Values(OrderCase{"page2.png", "page10.png"}, OrderCase{"a.png", "B.png"},
                      OrderCase{"B.png", "c.png"}, OrderCase{"A.png", "a.png"},  // tie: bytes
                      OrderCase{"x01.png", "x1.png"},                            // tie: bytes
                      OrderCase{"x1.png", "x02.png"}, OrderCase{"f007", "f8"}, OrderCase{"a", "a1"},
                      OrderCase{"a-1", "a1"},
                      OrderCase{"n99999999999999999999999", "n100000000000000000000000"},
                      OrderCase{"n000000000000000000000000009", "n10"},
                      OrderCase{"照片2.jpg", "照片10.jpg"}));

TEST(NaturalOrder, IsIrreflexive) {
    for (const char* name : {"", "a", "007", "A.png", "照片"}) {
        EXPECT_FALSE(folder2pdf::naturalLess(name, name)) << name;
    }
}

TEST(FolderListing, ListsRegularFilesAndLinksToThemInNaturalOrder) {
    namespace fs = std::filesystem;
    TempDir dir;
    for (const char* name : {"page10.png", "Page2.png", "page1.png", ".hidden.png", "notes.txt"}) {
        testsupport::writeFile(dir.file(name), std::string("x"));
    }
    fs::create_directory(dir.file("sub.png"));
    fs::create_symlink("page1.png", dir.file("link.jpg"));
    fs::create_symlink("nowhere.png", dir.file("broken.gif"));
    fs::create_directory_symlink("sub.png", dir.file("dirlink.bmp"));
    EXPECT_EQ(folder2pdf::listFolderFiles(dir.path().string()),
              (Names{"link.jpg", "notes.txt", "page1.png", "Page2.png", "page10.png"}));
}

TEST(FolderListing, FolderThatCannotBeListedIsAFileErrorNamingIt) {
    TempDir dir;
    const std::string missing = dir.file("missing");
    try {
        folder2pdf::listFolderFiles(missing);
        FAIL() << "listed a missing folder";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::FileError);
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
    }
}

}  // namespace
