// The scenarios every window runs (the design through a fake toolkit, then
// the Qt and the Windows window), each through a driver that reaches its own
// toolkit: texts in UTF-8, places {left, top, right, bottom} in the parent's
// client area, steps "later" carried out by the next run's event processing,
// the folder chooser's answer and the message boxes' texts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "common/Path.h"
#include "ui/shared/WindowDesign.h"

namespace windowtest {

using Place = std::array<int, 4>;
using Names = std::vector<std::string>;
using folder2pdf::Key;
// In the order of the native window's control identifiers.
enum Control { List, Command1, Command2, Command3, Command4, L1, L2 };

// What every driver keeps: the chooser's titles and next answer, the boxes'
// texts. The chooser opens at the program's folder.
struct Recorder {
    std::string choose(const std::string& title, const std::string& start) {
        EXPECT_TRUE(std::filesystem::is_directory(testsupport::u8path(start))) << start;
        asked.push_back(title);
        starts.push_back(start);
        whileChoosing();
        return chosen;
    }
    std::vector<std::string> asked, starts, messages;
    std::string chosen;
    std::vector<std::string> picturesChosen;  // what 添加图片…'s chooser answers
    std::function<void()> whileChoosing = [] {};
};

const std::vector<std::string> examples{"a.bmp", "b.bmp", "c.bmp"};

template <class Driver>
class Window : public ::testing::Test {
  protected:
    // A few pictures in a fresh folder, for the chooser to answer.
    Window() {
        for (const std::string& name : examples) {
            folder.add(name, 2, 2);
        }
        w.chosen = folder.path;
    }

    testsupport::Folder folder{"图片"};
    const std::string pdf = folder.file("图片.pdf");
    Driver w;
};
TYPED_TEST_SUITE_P(Window);

TYPED_TEST_P(Window, StartUpShowsCaptionsStatusPartsAndLayout) {
    TypeParam& w = this->w;
    EXPECT_EQ(w.title(), "图片转PDF");
    EXPECT_EQ(w.text(L1), "图片文件夹转PDF");
    EXPECT_EQ(w.text(L2), "打开文件夹，排序后点生成");
    EXPECT_EQ(w.part(0), "信息：");
    EXPECT_EQ(w.part(2), " 进度 ");
    // 15 twips a pixel: the list runs from 700 twips (47 px) to 1000 (67 px) above the bottom.
    for (const auto& [width, height, listHeight] :
         {std::tuple{408, 216, 149}, {640, 400, 333}, {408, 167, 100}}) {
        w.resize(width, height);
        const auto [list, last, progress] = w.layout();
        EXPECT_EQ(list, (Place{0, 47, width, 47 + listHeight})) << width << "x" << height;
        // The window shrinks no further than a list of a few rows.
        w.resize(300, 60);
        EXPECT_EQ(w.layout()[0], (Place{0, 47, 408, 147}));
        w.resize(width, height);
        // The last part runs to the right edge; the progress bar sits in it,
        // 2 px narrower, as high as the part's bottom less 3.
        EXPECT_EQ(last[2], width);
        EXPECT_EQ(progress, (Place{last[0], last[1], last[2] - 2, last[1] + last[3] - 3}));
    }
}

TYPED_TEST_P(Window, OpenListsMovesAndGeneratesTheDocumentWithProgress) {
    TypeParam& w = this->w;
    w.click(Command1);  // opens the pictures
    EXPECT_EQ(w.asked, std::vector<std::string>{"请选择图片文件夹"});
    EXPECT_EQ(w.rows(), examples);
    EXPECT_EQ(w.part(1), " 共3幅");
    w.selectRow(0);
    w.click(Command4);
    EXPECT_EQ(w.rows()[1], examples[0]);

    w.setProgress(2);  // as a run left it
    w.click(Command2);
    EXPECT_EQ(w.progress(), (std::array{4, 0}));  // the maximum, the position
    EXPECT_EQ(w.part(1), "完成！");
    EXPECT_EQ(testsupport::readFile(this->pdf).substr(0, 8), "%PDF-1.4");
}

TYPED_TEST_P(Window, FailuresShowTheReasonAndKeepTheListAndTheEarlierDocument) {
    TypeParam& w = this->w;
    w.click(Command1);  // opens the pictures
    testsupport::writeFile(this->pdf, "earlier");
    testsupport::whileUnwritable(this->pdf, [&] { w.click(Command2); });

    testsupport::writeFile(this->folder.file("x.png"), "\x89PNG\r\n\x1a\n broken");
    w.click(Command1);
    const std::vector<std::string> before = w.rows();
    w.click(Command2);
    EXPECT_EQ(w.rows(), before);
    w.selectRow(1);
    w.click(Command3);  // the window still takes commands
    EXPECT_EQ(w.rows()[0], before[1]);
    // A failure after the window was closed shows no box.
    w.whileChoosing = [&] { w.close(); };
    w.chosen = this->folder.file("gone");
    w.click(Command1);

    const std::string reasons[] = {
        (testsupport::onWindows ? "没有完成：PDF 文档正被另一个程序使用（例如 PDF 阅读器）。"
                                  "请关闭它后重试。\n"
                                : "没有完成：没有权限：系统拒绝访问这个文件或文件夹。\n") +
            folder2pdf::shownPath(this->pdf),
        "没有完成：图片已损坏，无法读取。\n" + folder2pdf::shownPath(this->folder.file("x.png")) +
            "\n\n详细信息："};
    ASSERT_EQ(w.messages.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(w.messages[i].substr(0, reasons[i].size()), reasons[i]);
    }
    EXPECT_EQ(testsupport::readFile(this->pdf), "earlier");
}

TYPED_TEST_P(Window, ClicksDuringARunAreRefusedAndClosingStopsItWritingNothing) {
    TypeParam& w = this->w;
    w.click(Command1);  // opens the pictures
    // Carried out by the run itself, when it lets the window's events through.
    w.later([&] {
        w.click(Command1);
        w.click(Command2);
        w.close();
        EXPECT_NE(w.form().job(), nullptr);  // kept until the run has returned
    });
    w.click(Command2);
    EXPECT_EQ(w.asked.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(testsupport::u8path(this->pdf)));
    EXPECT_EQ(w.form().job(), nullptr);
}

TYPED_TEST_P(Window, GivenAndDroppedFoldersOpenDeleteRemovesAndTheTipNamesTheDocument) {
    TypeParam& w = this->w;
    const testsupport::Folder& folder = this->folder;
    w.form().openGivenFolder(folder.path);  // as the program's argument gives it
    EXPECT_EQ(w.rows(), examples);
    w.selectRow(1);
    w.pressDelete();
    const std::vector<std::string> left{"a.bmp", "c.bmp"};
    EXPECT_EQ(w.rows(), left);
    EXPECT_EQ(w.part(1), " 共2幅");
    w.drop({folder.file("c.bmp"), folder.file("notes.txt"), folder.file("b.bmp")});
    const std::vector<std::string> dropped{"b.bmp", "c.bmp"};
    EXPECT_EQ(w.rows(), dropped);
    w.later([&] {  // refused during the run
        w.selectRow(0);
        w.pressDelete();
        w.drop({folder.path});
    });
    w.click(Command2);
    EXPECT_EQ(w.rows(), dropped);
    EXPECT_EQ(w.tip(), this->pdf);
    w.drop({folder.path});
    EXPECT_EQ(w.rows(), examples);
    w.click(Command1);  // starts at the folder opened last
    EXPECT_EQ(w.starts.back(), folder.path);
    w.form().openGivenFolder(folder.file("a.bmp"));  // not a folder: a box, the list stays
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.rows(), examples);
}

// While a large page is made, the window's thread takes the system's
// messages within a tenth of a second, all along. Nine in ten are held to
// it: a machine busy with other tests may leave any thread unscheduled now
// and then, while a window that waits for a page misses every message of
// that page.
TYPED_TEST_P(Window, AnswersWithinATenthOfASecondWhileAPageIsMade) {
    TypeParam& w = this->w;
    this->folder.add("d big.bmp", 3000, 3000, true);
    w.click(Command1);
    using Clock = std::chrono::steady_clock;
    struct Waits {
        std::mutex mutex;
        std::vector<double> milliseconds;
    };
    const auto waits = std::make_shared<Waits>();
    std::atomic<bool> running{true};
    std::thread system([&] {
        while (running.load()) {
            const auto sent = Clock::now();
            w.fromAnyThread([waits, sent] {
                const std::lock_guard<std::mutex> lock(waits->mutex);
                waits->milliseconds.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const auto start = Clock::now();
    w.click(Command2);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    running.store(false);
    system.join();
    EXPECT_EQ(testsupport::readFile(this->pdf).substr(0, 8), "%PDF-1.4");
    const std::lock_guard<std::mutex> lock(waits->mutex);
    ASSERT_GT(waits->milliseconds.size(), 5u) << "the run took " << took << " s";
    std::vector<double>& ms = waits->milliseconds;
    std::sort(ms.begin(), ms.end());
    EXPECT_LT(ms[ms.size() * 9 / 10], 100.0) << "over " << took << " s";
}

// The pages come out as the list is arranged: by keys, by a drag, by the
// menu of the row right-clicked, with pictures dropped or added from
// another folder, and seen as thumbnails.
TYPED_TEST_P(Window, KeysDragsAndTheListsMenuArrangeTurnAndAddPages) {
    TypeParam& w = this->w;
    const testsupport::Folder other{"其他"};
    other.add("x.bmp", 4, 2);
    other.add("y.bmp", 5, 1);
    w.key(Key::O, true);  // 打开
    ASSERT_EQ(w.rows(), examples);
    w.selectRows({0, 1});
    w.key(Key::Down, true);
    EXPECT_EQ(w.rows(), (Names{"c.bmp", "a.bmp", "b.bmp"}));
    EXPECT_EQ(w.selection(), (std::vector<int>{1, 2}));
    w.dragTo(0);  // the block back to the top
    EXPECT_EQ(w.rows(), examples);
    // Pictures of another folder are listed by their paths.
    const std::string x = folder2pdf::shownPath(other.file("x.bmp"));
    const std::string y = folder2pdf::shownPath(other.file("y.bmp"));
    w.dropOnList({other.file("x.bmp")}, 1);
    EXPECT_EQ(w.rows(), (Names{"a.bmp", x, "b.bmp", "c.bmp"}));
    w.selectRows({0});
    w.contextMenu(1, 0);  // 向右旋转 on x.bmp, not on the row selected before
    EXPECT_EQ(w.rows()[0], "a.bmp");
    EXPECT_EQ(w.rows()[1], x + "（旋转90°）");
    w.picturesChosen = {other.file("y.bmp")};
    w.key(Key::O, true, true);  // 添加图片…, after the selection
    EXPECT_EQ(w.rows()[2], y);
    w.key(Key::Delete, false);
    w.key(Key::Z, true);  // the removal undone
    w.key(Key::L, true);
    EXPECT_EQ(w.rows()[2], y + "（旋转270°）");
    w.key(Key::T, true);  // thumbnails of every row
    EXPECT_TRUE(w.waitForThumbnails(5));
    w.key(Key::S, true);  // 生成
    EXPECT_EQ(testsupport::pageSizes(this->pdf),
              (Names{"2x2", "2x4", "1x5", "2x2", "2x2"}));
}

REGISTER_TYPED_TEST_SUITE_P(Window, KeysDragsAndTheListsMenuArrangeTurnAndAddPages, StartUpShowsCaptionsStatusPartsAndLayout,
                            GivenAndDroppedFoldersOpenDeleteRemovesAndTheTipNamesTheDocument,
                            OpenListsMovesAndGeneratesTheDocumentWithProgress,
                            FailuresShowTheReasonAndKeepTheListAndTheEarlierDocument,
                            ClicksDuringARunAreRefusedAndClosingStopsItWritingNothing,
                            AnswersWithinATenthOfASecondWhileAPageIsMade);

}  // namespace windowtest
