#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "RecordingView.h"
#include "TestSupport.h"
#include "common/Error.h"
#include "job/FolderJob.h"

using folder2pdf::DocumentWriter;
using folder2pdf::FolderJob;
using testsupport::RecordingView;
using testsupport::TempDir;
using Names = std::vector<std::string>;

namespace {

// Logs each page by its picture's path less the test's temporary folder.
struct RecordingWriter : DocumentWriter {
    RecordingView& view;
    std::function<void(const std::string&)>& onPage;
    std::size_t rootLength;
    RecordingWriter(RecordingView& v, std::function<void(const std::string&)>& hook,
                    std::size_t root, int& held)
        : view(v), onPage(hook), rootLength(root), inUse(held) {}
    void pageOBJ(const folder2pdf::PreparedPage& page) override {
        const std::string path = page.path.substr(rootLength);
        view.log.push_back("pageOBJ(" + path + ")");
        if (onPage) {
            onPage(path);
        }
    }
    void makePDF() override {
        view.log.push_back("makePDF");
        if (inUse > 0) {
            --inUse;
            throw folder2pdf::Error(folder2pdf::ErrorReason::InUse, "held");
        }
    }
    int& inUse;  // how many more makePDF() calls find the document held
};

// The folders below are in a temporary folder, whose path the log leaves
// out; the pictures of /pics/trip are real, for the job's pipeline to read.
class FolderJobTest : public ::testing::Test {
  protected:
    TempDir dir;
    const std::string root = testsupport::utf8(dir.path());
    RecordingView view;
    // The filter finds the four extensions anywhere in a name, in any case.
    std::map<std::string, Names> folders{
        {"/pics/trip", {"p1.png", "readme.txt", "p2.BMP", "p3.gif.bak"}},
        {"/pics/empty", {"jpg", "v.pn", "w.jpe"}},
    };
    std::function<void(const std::string&)> onPage;
    int inUse = 0;
    FolderJob job{
        view, "/prog",
        [this](const std::string& folder) { return folders.at(folder.substr(root.size())); },
        [this](const std::string& path, const folder2pdf::DocumentOptions&) {
            view.log.push_back("newWriter(" + path.substr(root.size()) + ")");
            return std::make_unique<RecordingWriter>(view, onPage, root.size(), inUse);
        }};

    FolderJobTest() {
        std::filesystem::create_directories(dir.path() / "pics" / "trip");
        for (const char* name : {"p1.png", "p2.BMP", "p3.gif.bak"}) {
            testsupport::writeFile(root + "/pics/trip/" + name, testsupport::bmpPicture(2, 3));
        }
    }

    // Opens a folder and forgets the calls that took.
    void open(const std::string& folder) {
        view.answer = root + folder;
        job.openFolder();
        view.log.clear();
    }
};

// The calls of a run over /pics/trip: one line a picture.
// clang-format off
const Names tripRun = {
    "showMessage(count 3)", "newWriter(/pics/trip/trip.pdf)", "showProgressRange(0,4)",
    "showProgress(1)", "runPendingEvents", "pageOBJ(/pics/trip/p1.png)",
    "showProgress(2)", "runPendingEvents", "pageOBJ(/pics/trip/p2.BMP)",
    "showProgress(3)", "runPendingEvents", "pageOBJ(/pics/trip/p3.gif.bak)",
    "showProgress(0)", "makePDF", "showMessage(done 3)"};
// clang-format on

// A cancelled Open, or one whose listing fails, leaves the job and the view
// as they were; a folder without pictures lists none, and Generate then does
// nothing.
TEST_F(FolderJobTest, OpenWithoutANewListKeepsTheOldOne) {
    view.answer = root + "/pics/trip";
    job.openFolder();
    EXPECT_EQ(view.log,
              (Names{"chooseFolder(/prog)", "clearEntries", "addEntry(p1.png)", "addEntry(p2.BMP)",
                     "addEntry(p3.gif.bak)", "showMessage(count 3)"}));
    for (const char* answer : {"", "/pics/missing"}) {
        open("/pics/trip");
        view.answer = *answer ? root + answer : "";
        if (*answer) {
            EXPECT_ANY_THROW(job.openFolder());
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

const Names unmoved = {"p1.png", "p2.BMP", "p3.gif.bak"};

TEST_F(FolderJobTest, MovesSwapWithTheNeighbourOrChangeNothingAtTheEnds) {
    struct Move {
        int selected, presses;  // presses > 0: down, < 0: up
        Names rows;
        int selectedAfter;
    };
    for (const Move& m :
         {Move{1, -1, {"p2.BMP", "p1.png", "p3.gif.bak"}, 0},
          Move{1, 1, {"p1.png", "p3.gif.bak", "p2.BMP"}, 2},
          Move{0, 2, {"p2.BMP", "p3.gif.bak", "p1.png"}, 2}, Move{0, -1, unmoved, 0},
          Move{2, 1, unmoved, 2}, Move{-1, -1, unmoved, -1}, Move{3, -1, unmoved, 3}}) {
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

TEST_F(FolderJobTest, CommandsArrivingDuringARunAreRefused) {
    open("/pics/trip");
    view.onEvents = [this](int) {
        EXPECT_TRUE(job.running());
        view.answer = root + "/pics/empty";
        job.openFolder();
        job.generate();
        view.selected = 1;
        job.moveUp();
        job.moveDown();
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
        std::function<void()> request;
        long callsKept;  // of tripRun
        int pagesDone;
    };
    const Stop stops[] = {
        {[this] { job.requestStop(); }, 5, 0},  // before the run
        {[this] { view.onEvents = [this](int count) { count == 2 ? job.requestStop() : void(); }; },
         8, 1},
        {[this] {  // during the last picture
             onPage = [this](const std::string& path) {
                 path.ends_with("p3.gif.bak") ? job.requestStop() : void();
             };
         },
         12, 3},
    };
    for (const Stop& stop : stops) {
        SCOPED_TRACE("stopped after call " + std::to_string(stop.callsKept));
        open("/pics/trip");
        stop.request();
        job.generate();
        Names expected(tripRun.begin(), tripRun.begin() + stop.callsKept);
        expected.push_back("showProgress(0)");
        expected.push_back("showMessage(stopped " + std::to_string(stop.pagesDone) + ")");
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

// The document's name and place: after the folder's last name, trailing
// separators ignored; a root gives what people call it.
// A document another program holds: the run fails keeping the finished
// document, a retry only puts it in place, and giving up drops it.
TEST_F(FolderJobTest, DocumentInUseWaitsForARetryOfItsReplaceOnly) {
    open("/pics/trip");
    inUse = 2;
    EXPECT_THROW(job.generate(), folder2pdf::Error);
    EXPECT_THROW(job.retryReplace(), folder2pdf::Error);
    EXPECT_TRUE(job.replacePending());
    view.log.clear();
    job.retryReplace();
    job.retryReplace();
    EXPECT_EQ(view.log, (Names{"makePDF", "showMessage(done 3)"}));
    inUse = 1;
    EXPECT_THROW(job.generate(), folder2pdf::Error);
    job.abandonDocument();
    view.log.clear();
    job.retryReplace();
    EXPECT_TRUE(view.log.empty());
}

TEST(FolderNames, DocumentIsNamedAfterTheFolderOrItsRoot) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    RecordingView view;
    FolderJob job{view, "/prog", [](const std::string&) { return Names{}; }};
    const Pairs windows = {{"D:/", "D:/D.pdf"},
                           {"D:", "D:/D.pdf"},
                           {"//srv/share", "//srv/share/share.pdf"},
                           {"C:/My Album\\", "C:/My Album\\My Album.pdf"}};
    const Pairs posix = {{"/", "/root.pdf"}, {"/a/b//", "/a/b//b.pdf"}};
    for (const auto& [folder, document] : testsupport::onWindows ? windows : posix) {
        view.answer = folder;
        job.openFolder();
        EXPECT_EQ(job.outputPath(), document) << folder;
    }
}

TEST(NaturalOrder, NumbersCompareByValueAndTiesByBytes) {
    const std::pair<const char*, const char*> ordered[] = {
        {"page2.png", "page10.png"},
        {"a.png", "B.png"},
        {"A.png", "a.png"},     // tie: bytes
        {"x01.png", "x1.png"},  // tie: bytes
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
}

TEST(FolderListing, ListsRegularFilesAndLinksToThemInNaturalOrder) {
    namespace fs = std::filesystem;
    TempDir dir;
    for (const char* name : {"page10.png", "Page2.png", "page1.png", ".hidden.png", "notes.txt"}) {
        testsupport::writeFile(dir.file(name), "x");
    }
    // Windows also hides by attribute.
    if (testsupport::onWindows) {
        testsupport::writeFile(dir.file("attribute.png"), "x");
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
