#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "RecordingView.h"
#include "TestSupport.h"
#include "common/Error.h"
#include "common/Path.h"
#include "job/FolderJob.h"
#include "job/JobPlan.h"
#include "image/Decoders.h"
#include "job/JobRun.h"

using folder2pdf::DocumentWriter;
using folder2pdf::Error;
using folder2pdf::FailureAnswer;
using folder2pdf::FolderJob;
using folder2pdf::JobPlan;
using testsupport::Folder;
using testsupport::RecordingView;
using testsupport::TempDir;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// What a writer was handed: the pages, by their picture's file name, on the
// thread that runs the job; `onPage` runs after each. It outlives the
// writer, which the job drops after its run.
struct Record {
    Names pages;
    bool made = false;
    int inUse = 0;  // how many more makePDF() calls find the document held
    std::function<void(const std::string&)> onPage;
};

struct RecordingWriter : DocumentWriter {
    Record& record;
    explicit RecordingWriter(Record& r) : record(r) {}
    void pageOBJ(const folder2pdf::PreparedPage& page) override {
        record.pages.push_back(folder2pdf::nameOf(page.path));
        if (record.onPage) {
            record.onPage(record.pages.back());
        }
    }
    void makePDF() override {
        if (record.inUse > 0) {
            --record.inUse;
            throw Error(folder2pdf::ErrorReason::InUse, "held");
        }
        record.made = true;
    }
    std::int64_t size() const override {
        return static_cast<std::int64_t>(record.pages.size()) * 100;
    }
};

// Every event, as one line each, and the answers the test chose.
struct RecordingEvents : folder2pdf::JobEvents {
    Names log;
    std::function<FailureAnswer(const Error&)> answer = [](const Error&) {
        return FailureAnswer::Stop;
    };
    int stopAfter = -1;  // pages written before a stop request

    void started(std::int32_t n) override { log.push_back("started " + std::to_string(n)); }
    void pagePrepared(std::int32_t k) override { log.push_back("prepared " + std::to_string(k)); }
    void pageWritten(std::int32_t k, std::int64_t bytes) override {
        log.push_back("written " + std::to_string(k) + " " + std::to_string(bytes));
    }
    FailureAnswer pictureFailed(std::int32_t k, const Error& error) override {
        log.push_back("failed " + std::to_string(k) + " " + folder2pdf::nameOf(error.file()));
        return answer(error);
    }
    void finished(const folder2pdf::JobResult& r) override {
        log.push_back("finished " + std::to_string(r.pages) + " pages, " +
                      std::to_string(r.skipped.size()) + " skipped");
    }
    void stopped(std::int32_t k) override { log.push_back("stopped " + std::to_string(k)); }
    bool stopRequested() override {
        return stopAfter >= 0 && std::count_if(log.begin(), log.end(), [](const std::string& l) {
                                     return l.starts_with("written");
                                 }) >= stopAfter;
    }
};

// A folder of every kind of entry a listing meets.
struct PlanFolder : Folder {
    PlanFolder() : Folder("trip.jpg") {
        add("p10.bmp", 2, 2);
        add("p2.bmp", 3, 2);
        add("c.jpeg", 1, 1);
        add(".hidden.png", 1, 1);
        add("trip.jpg.pdf", 1, 1);  // the folder's own document, named like a picture
        testsupport::writeFile(file("x.jpg - 快捷方式.lnk"), std::string("L\0\0\0\1\x14\2\0", 8));
        testsupport::writeFile(file("notes.png"), "some text");
        testsupport::writeFile(file("empty.jpg"), "");
        fs::create_directory(testsupport::u8path(file("nested.png")));
    }
};

TEST(JobPlan, FolderGivesItsPicturesInOrderAndSaysWhatItLeftOut) {
    const PlanFolder folder;
    const JobPlan plan = folder2pdf::planFolder(folder.path);
    Names names;
    for (const auto& picture : plan.pictures) {
        names.push_back(picture.name);
        EXPECT_EQ(picture.path, folder2pdf::joinPath(plan.folder, picture.name));
    }
    EXPECT_EQ(names, (Names{"c.jpeg", "p2.bmp", "p10.bmp"}));
    EXPECT_EQ(plan.output, folder2pdf::joinPath(plan.folder, "trip.jpg.pdf"));
    Names leftOut;
    for (const auto& [name, reason] : plan.leftOut) {
        leftOut.push_back(name + ": " + reason);
    }
    const std::string none = folder2pdf::notAPictureReason;
    EXPECT_EQ(leftOut, (Names{"empty.jpg: the file is empty", "notes.png: " + none,
                              "x.jpg - 快捷方式.lnk: " + none}));

    const Folder empty("empty");
    EXPECT_TRUE(folder2pdf::planFolder(empty.path).pictures.empty());
}

// A parent's plan is its own sub-folders' plans, each the folder's own;
// links lead out of it and are left out.
TEST(JobPlan, ParentGivesEachOwnSubfolderWithPicturesAndNoLinks) {
    Folder parent("parent");
    for (const char* sub : {"b10", "b9", "empty", ".hidden"}) {
        fs::create_directory(testsupport::u8path(parent.file(sub)));
    }
    parent.add("b10/p.bmp", 2, 2);
    parent.add("b9/p.bmp", 2, 2);
    parent.add(".hidden/p.bmp", 2, 2);
    parent.add("loose.bmp", 2, 2);
    std::error_code noLinks;
    fs::create_directory_symlink(".", testsupport::u8path(parent.file("self")), noLinks);
    fs::create_directory_symlink("..", testsupport::u8path(parent.file("up")), noLinks);
    const folder2pdf::ParentPlan plan = folder2pdf::planParent(parent.path);
    Names folders;
    for (const JobPlan& sub : plan.folders) {
        folders.push_back(folder2pdf::nameOf(sub.folder));
        EXPECT_EQ(sub.output, folder2pdf::planFolder(sub.folder).output);
    }
    EXPECT_EQ(folders, (Names{"b9", "b10"}));
    Names leftOut;
    for (const auto& entry : plan.leftOut) {
        leftOut.push_back(entry.name);
    }
    EXPECT_EQ(leftOut, noLinks ? Names{} : (Names{"self", "up"}));
}

class JobRunTest : public ::testing::Test {
  protected:
    Folder folder{"run"};
    Record record;
    RecordingWriter writer{record};
    RecordingEvents events;
    JobPlan plan;

    JobRunTest() {
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            folder.add(name, 2, 2);
        }
        testsupport::writeFile(folder.file("b.bmp"), "BM broken");
        plan = folder2pdf::planFolder(folder.path);
    }
};

// A picture that fails is put to the front end: retried (mended meanwhile),
// skipped, or the run stopped with its error and nothing written.
TEST_F(JobRunTest, FailingPictureIsRetriedSkippedOrStopsTheRun) {
    events.answer = [this](const Error&) {
        folder.add("b.bmp", 2, 2);
        return FailureAnswer::Retry;
    };
    auto result = folder2pdf::runJob(plan, writer, events);
    EXPECT_EQ(events.log, (Names{"started 3", "prepared 0", "written 0 100", "failed 1 b.bmp",
                                 "prepared 1", "written 1 200", "prepared 2", "written 2 300",
                                 "finished 3 pages, 0 skipped"}));
    EXPECT_TRUE(record.made);

    testsupport::writeFile(folder.file("b.bmp"), "BM broken");
    record = Record();
    events.log.clear();
    events.answer = [](const Error&) { return FailureAnswer::Skip; };
    result = folder2pdf::runJob(plan, writer, events);
    EXPECT_EQ(record.pages, (Names{"a.bmp", "c.bmp"}));
    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(folder2pdf::nameOf(result.skipped[0].file()), "b.bmp");
    EXPECT_EQ(events.log.back(), "finished 2 pages, 1 skipped");

    record = Record();
    events.log.clear();
    events.answer = [](const Error&) { return FailureAnswer::Stop; };
    EXPECT_THROW(folder2pdf::runJob(plan, writer, events), Error);
    EXPECT_FALSE(record.made);
    EXPECT_EQ(events.log.back(), "failed 1 b.bmp");
}

// A stop request ends the run before the next picture; nothing is put in place.
TEST_F(JobRunTest, StopRequestEndsTheRunBeforeTheNextPicture) {
    folder.add("b.bmp", 2, 2);
    for (int after : {0, 2, 3}) {
        record = Record();
        events.log.clear();
        events.stopAfter = after;
        const auto result = folder2pdf::runJob(plan, writer, events);
        EXPECT_TRUE(result.stopped);
        EXPECT_FALSE(record.made);
        EXPECT_EQ(events.log.back(), "stopped " + std::to_string(after));
        EXPECT_EQ(record.pages.size(), static_cast<std::size_t>(after));
    }
}

// The window's adapter: the run on its own thread, the window's events let
// run all along, commands refused meanwhile, a stop and a held document.
class FolderJobTest : public ::testing::Test {
  protected:
    Folder folder{"trip"};
    RecordingView view;
    Record record;
    Record* writer = &record;
    std::function<void(Record&)> onNewWriter;
    FolderJob job{view, "/prog", folder2pdf::listFolderFiles,
                  [this](const std::string&, const folder2pdf::DocumentOptions&) {
                      record = Record();
                      if (onNewWriter) {
                          onNewWriter(record);
                      }
                      return std::make_unique<RecordingWriter>(record);
                  }};

    FolderJobTest() {
        for (const char* name : {"p1.bmp", "p2.bmp", "p3.bmp"}) {
            folder.add(name, 2, 3);
        }
        view.answer = folder.path;
        job.openFolder();
        view.log.clear();
    }
    // The view's calls, less the many runPendingEvents.
    Names shown() const {
        Names calls;
        std::copy_if(view.log.begin(), view.log.end(), std::back_inserter(calls),
                     [](const std::string& call) { return call != "runPendingEvents"; });
        return calls;
    }
};

const Names tripRun = {"showMessage(count 3)", "showProgressRange(0,4)", "showProgress(1)",
                       "showProgress(2)", "showProgress(3)", "showProgress(0)",
                       "showMessage(done 3)"};

// While a slow page is made, the window's thread keeps answering; commands
// that arrive meanwhile change nothing.
TEST_F(FolderJobTest, WindowAnswersAndRefusesCommandsDuringARun) {
    onNewWriter = [](Record& made) {
        made.onPage = [](const std::string&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
    };
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    view.onEvents = [&](int) {
        EXPECT_TRUE(job.running());
        longest = std::max(longest, Clock::now() - last);
        last = Clock::now();
        job.openFolder();
        job.generate();
        view.selected = 1;
        job.moveUp();
    };
    job.generate();
    // Well under a page's 300 ms, with room for a machine busy with other
    // tests: a run that let no events through during a page would wait 300.
    EXPECT_LT(longest, std::chrono::milliseconds(200));
    EXPECT_EQ(shown(), tripRun);
    EXPECT_EQ(writer->pages, (Names{"p1.bmp", "p2.bmp", "p3.bmp"}));
    EXPECT_EQ(job.entries(), writer->pages);
    EXPECT_FALSE(job.running());
}

TEST_F(FolderJobTest, StopRequestWritesNothingAndIsForgottenByTheNextRun) {
    job.requestStop();
    job.generate();
    EXPECT_EQ(view.message, "stopped 0");
    EXPECT_FALSE(writer->made);
    EXPECT_TRUE(job.stopped());
    view.log.clear();
    job.generate();
    EXPECT_EQ(shown(), tripRun);
    EXPECT_FALSE(job.stopped());
}

// A picture that fails goes to the view's question; without one, the run
// fails with its error.
TEST_F(FolderJobTest, FailingPictureIsPutToTheView) {
    testsupport::writeFile(folder.file("p2.bmp"), "BM broken");
    EXPECT_THROW(job.generate(), Error);
    view.pictureAnswer = FailureAnswer::Skip;
    job.generate();
    EXPECT_EQ(writer->pages, (Names{"p1.bmp", "p3.bmp"}));
    EXPECT_EQ(view.message, "done 2");
    view.pictureAnswer = FailureAnswer::Stop;
    job.generate();
    EXPECT_FALSE(writer->made);
    EXPECT_EQ(view.message, "stopped 1");
}

// A document another program holds: the run fails keeping the finished
// document, a retry only puts it in place, and giving up drops it.
TEST_F(FolderJobTest, DocumentInUseWaitsForARetryOfItsReplaceOnly) {
    onNewWriter = [](Record& made) { made.inUse = 2; };
    EXPECT_THROW(job.generate(), Error);
    EXPECT_THROW(job.retryReplace(), Error);
    EXPECT_TRUE(job.replacePending());
    view.log.clear();
    job.retryReplace();
    job.retryReplace();
    EXPECT_EQ(shown(), (Names{"showMessage(done 3)"}));
    onNewWriter = [](Record& made) { made.inUse = 1; };
    EXPECT_THROW(job.generate(), Error);
    job.abandonDocument();
    view.log.clear();
    job.retryReplace();
    EXPECT_TRUE(view.log.empty());
}

TEST(FolderNames, DocumentIsNamedAfterTheFolderOrItsRootNeverHidden) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const Pairs windows = {{"D:/", "D:/D.pdf"},
                           {"D:", "D:/D.pdf"},
                           {"//srv/share", "//srv/share/share.pdf"},
                           {"C:/My Album\\", "C:/My Album\\My Album.pdf"}};
    const Pairs posix = {{"/", "/root.pdf"}, {"/a/b//", "/a/b//b.pdf"}, {"/a/..dots", "/a/..dots/dots.pdf"}};
    for (const auto& [folder, document] : testsupport::onWindows ? windows : posix) {
        EXPECT_EQ(folder2pdf::documentPathOf(folder), document) << folder;
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
