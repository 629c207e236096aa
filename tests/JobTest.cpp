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
    void makePDF() override { view.log.push_back("makePDF"); }
};

class FolderJobTest : public ::testing::Test {
  protected:
    RecordingView view;
    std::map<std::string, Names> folders{
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
                  [this](const std::string& path) {
                      view.log.push_back("newWriter(" + path + ")");
                      return std::make_unique<RecordingWriter>(view, onPage);
                  }};

    // Opens a folder and forgets the calls that took.
    void open(const std::string& folder) {
        view.answer = folder;
        job.openFolder();
        view.log.clear();
    }
};

// The calls of a run over /pics/trip: one line a picture.
// clang-format off
const Names tripRun = {
    "newWriter(/pics/trip/trip.pdf)", "showProgressRange(0,4)",
    "showProgress(1)", "runPendingEvents", "pageOBJ(/pics/trip/p1.png)",
    "showProgress(2)", "runPendingEvents", "pageOBJ(/pics/trip/p2.bmp)",
    "showProgress(3)", "runPendingEvents", "pageOBJ(/pics/trip/p3.gif)",
    "showProgress(0)", "makePDF", "showMessage(done 3)"};
// clang-format on

// The filter finds the four extensions anywhere in a name, in any case.
TEST_F(FolderJobTest, OpenKeepsPictureNamesInListingOrderAndShowsTheCount) {
    folders["/f"] = {"x.BMP", "y.gIf", "jpg", "z.Png.bak", "w.jpe", "v.pn", "photo.jpg.jpeg", "t"};
    view.answer = "/f";
    job.openFolder();
    EXPECT_EQ(view.log,
              (Names{"chooseFolder(/prog)", "clearEntries", "addEntry(x.BMP)", "addEntry(y.gIf)",
                     "addEntry(z.Png.bak)", "addEntry(photo.jpg.jpeg)", "showMessage(count 4)"}));
    EXPECT_EQ(job.entries(), view.rows);
    EXPECT_EQ(job.folder(), "/f");
}

// A cancelled Open, or one whose listing fails, leaves the job and the view
// as they were; a folder without pictures lists none, and Generate then does
// nothing.
TEST_F(FolderJobTest, OpenWithoutANewListKeepsTheOldOne) {
    for (const char* answer : {"", "/pics/missing"}) {
        open("/pics/trip");
        view.answer = answer;
        if (*answer) {
            EXPECT_THROW(job.openFolder(), Error);
        } else {
            job.openFolder();
        }
        EXPECT_EQ(view.log, (Names{"chooseFolder(/prog)"}));
        EXPECT_EQ(job.entries(), view.rows);
        EXPECT_EQ(view.message, "count 3");
        view.log.clear();
        job.generate();
        EXPECT_EQ(view.log, tripRun);
    }
    open("/pics/empty");
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.message, "count 0");
    job.generate();
    EXPECT_TRUE(view.log.empty());
}

const Names unmoved = {"p1.png", "p2.bmp", "p3.gif"};

TEST_F(FolderJobTest, MovesSwapWithTheNeighbourOrChangeNothingAtTheEnds) {
    struct Move {
        int selected, presses;  // presses > 0: down, < 0: up
        Names rows;
        int selectedAfter;
    };
    for (const Move& m : {Move{1, -1, {"p2.bmp", "p1.png", "p3.gif"}, 0},
                          Move{1, 1, {"p1.png", "p3.gif", "p2.bmp"}, 2},
                          Move{2, -1, {"p1.png", "p3.gif", "p2.bmp"}, 1},
                          Move{0, 1, {"p2.bmp", "p1.png", "p3.gif"}, 1},
                          Move{0, 2, {"p2.bmp", "p3.gif", "p1.png"}, 2}, Move{0, -1, unmoved, 0},
                          Move{-1, -1, unmoved, -1}, Move{2, 1, unmoved, 2},
                          Move{-1, 1, unmoved, -1}, Move{3, -1, unmoved, 3}}) {
        SCOPED_TRACE(std::to_string(m.presses) + " from row " + std::to_string(m.selected));
        open("/pics/trip");
        view.selected = m.selected;
        for (int i = 0; i < std::abs(m.presses); ++i) {
            m.presses < 0 ? job.moveUp() : job.moveDown();
        }
        EXPECT_EQ(view.rows, m.rows);
        EXPECT_EQ(job.entries(), m.rows);
        EXPECT_EQ(view.selected, m.selectedAfter);
        if (m.selected == m.selectedAfter) {
            EXPECT_TRUE(view.log.empty());
        }
    }
}

TEST_F(FolderJobTest, PathsJoinWithOneSeparatorEvenAtTheRoot) {
    open("/");
    job.generate();
    EXPECT_EQ(view.log.at(4), "pageOBJ(//a.png)");
    EXPECT_EQ(view.log.at(0), "newWriter(//.pdf)");
    EXPECT_EQ(view.log.at(6), "makePDF");
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
    EXPECT_EQ(view.message, "count 3");
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
        view.answer = "/pics/empty";
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

// A stop request ends the run before the next picture, writes nothing, and
// is forgotten by the next run.
TEST_F(FolderJobTest, StopRequestEndsTheRunBeforeTheNextPictureAndWritesNothing) {
    struct Stop {
        const char* when;
        std::function<void()> request;
        std::size_t callsKept;  // of tripRun
    };
    const Stop stops[] = {
        {"before the run", [this] { job.requestStop(); }, 4},
        {"while events run",
         [this] { view.onEvents = [this](int count) { count == 2 ? job.requestStop() : void(); }; },
         7},
        {"during the last picture",
         [this] {
             onPage = [this](const std::string& path) {
                 path == "/pics/trip/p3.gif" ? job.requestStop() : void();
             };
         },
         11},
    };
    for (const Stop& stop : stops) {
        SCOPED_TRACE(stop.when);
        open("/pics/trip");
        stop.request();
        job.generate();
        Names expected(tripRun.begin(), tripRun.begin() + static_cast<long>(stop.callsKept));
        const auto pagesDone = std::count_if(expected.begin(), expected.end(), [](auto& call) {
            return call.rfind("pageOBJ", 0) == 0;
        });
        expected.insert(expected.end(), {"showProgress(0)",
                                         "showMessage(stopped " + std::to_string(pagesDone) + ")"});
        EXPECT_EQ(view.log, expected);
        EXPECT_TRUE(job.stopped());

        view.onEvents = nullptr;
        onPage = nullptr;
        view.log.clear();
        job.generate();
        EXPECT_EQ(view.log, tripRun);
        EXPECT_FALSE(job.stopped());
    }
}

TEST(NaturalOrder, NumbersCompareByValueAndTiesByBytes) {
    const std::pair<const char*, const char*> ordered[] = {
        {"page2.png", "page10.png"},
        {"a.png", "B.png"},
        {"B.png", "c.png"},
        {"A.png", "a.png"},     // tie: bytes
        {"x01.png", "x1.png"},  // tie: bytes
        {"x1.png", "x02.png"},
        {"f007", "f8"},
        {"a", "a1"},
        {"a-1", "a1"},
        {"n99999999999999999999999", "n100000000000000000000000"},
        {"n000000000000000000000000009", "n10"},
        {"照片2.jpg", "照片10.jpg"}};
    for (const auto& [before, after] : ordered) {
        EXPECT_TRUE(folder2pdf::naturalLess(before, after)) << before << " < " << after;
        EXPECT_FALSE(folder2pdf::naturalLess(after, before)) << after << " < " << before;
        EXPECT_FALSE(folder2pdf::naturalLess(before, before)) << before;
    }
    EXPECT_FALSE(folder2pdf::naturalLess("", ""));
}

TEST(FolderListing, ListsRegularFilesAndLinksToThemInNaturalOrder) {
    namespace fs = std::filesystem;
    TempDir dir;
    for (const char* name : {"page10.png", "Page2.png", "page1.png", ".hidden.png", "notes.txt"}) {
        testsupport::writeFile(dir.file(name), std::string("x"));
    }
    // Windows also hides by attribute.
    if (testsupport::onWindows) {
        testsupport::writeFile(dir.file("attribute.png"), std::string("x"));
        ASSERT_TRUE(testsupport::hideFile(dir.file("attribute.png")));
    }
    fs::create_directory(dir.file("sub.png"));
    testsupport::linkOrCopy("page1.png", dir.file("link.jpg"));
    std::error_code noLinks;
    fs::create_symlink("nowhere.png", dir.file("broken.gif"), noLinks);
    fs::create_directory_symlink("sub.png", dir.file("dirlink.bmp"), noLinks);
    EXPECT_EQ(folder2pdf::listFolderFiles(dir.file("")),
              (Names{"link.jpg", "notes.txt", "page1.png", "Page2.png", "page10.png"}));
}

}  // namespace
