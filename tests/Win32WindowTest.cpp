// The native Windows window, driven by its messages as a user's clicks and
// a screen reader would: start-up state, layout, the buttons wired to the
// job, errors, clicks and closing during a run. Runs under Wine on Linux.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/win32/Form1.h"
#include "ui/win32/StatusProgress.h"

namespace {

namespace fs = std::filesystem;
using folder2pdf::Form1;
namespace StatusProgress = folder2pdf::StatusProgress;
using testsupport::utf8;

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The texts of a dialog's controls, one a line.
std::wstring dialogTexts(HWND dialog) {
    std::wstring texts;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM texts) {
            reinterpret_cast<std::wstring*>(texts)->append(windowText(child) + L"\n");
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Closes every message box of this thread once it is up and keeps its
// texts, so that a test never hangs on one: a thread timer, because modal
// loops dispatch those too.
class ModalWatcher {
  public:
    ModalWatcher() {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 20, tick);
    }
    ~ModalWatcher() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    std::vector<std::wstring> messages;

  private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), visit, 0);
    }
    static BOOL CALLBACK visit(HWND window, LPARAM) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (!current_ || std::wstring(name) != L"#32770" || !IsWindowVisible(window)) {
            return TRUE;
        }
        current_->messages.push_back(dialogTexts(window));
        SendMessageW(window, WM_COMMAND, IDOK, 0);
        return FALSE;
    }

    static inline ModalWatcher* current_ = nullptr;
    UINT_PTR timer_ = 0;
};

class Win32WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->setFolderChooser(
            [this](HWND owner, const std::wstring& title, const std::wstring& start) {
                EXPECT_EQ(owner, form->hwnd());
                chooserTitle = title;
                chooserStart = start;
                ++chooserCalls;
                return chosen;
            });
        ShowWindow(form->hwnd(), SW_SHOWNORMAL);
        pump();
    }

    static void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    HWND control(int id) const { return GetDlgItem(form->hwnd(), id); }
    void click(int id) const { SendMessageW(control(id), BM_CLICK, 0, 0); }
    void postClick(int id) const { PostMessageW(control(id), BM_CLICK, 0, 0); }
    std::wstring part(int index) const {
        std::wstring text(256, L'\0');
        const auto length =
            LOWORD(SendMessageW(StatusProgress::statusBar(), SB_GETTEXTW,
                                static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data())));
        text.resize(length);
        return text;
    }
    std::vector<std::wstring> rows() const {
        const HWND list = control(Form1::ListId);
        std::vector<std::wstring> texts;
        const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)),
                              L'\0');
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            texts.push_back(text);
        }
        return texts;
    }
    int selectedRow() const {
        return static_cast<int>(SendMessageW(control(Form1::ListId), LB_GETCURSEL, 0, 0));
    }
    void selectRow(int row) const {
        SendMessageW(control(Form1::ListId), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
    // A control's rectangle in its parent's client coordinates.
    static RECT placeOf(HWND window) {
        RECT rect{};
        GetWindowRect(window, &rect);
        MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    void resizeClient(int width, int height) const {
        RECT frame{0, 0, width, height};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(form->hwnd(), GWL_STYLE)),
                           FALSE, static_cast<DWORD>(GetWindowLongW(form->hwnd(), GWL_EXSTYLE)));
        SetWindowPos(form->hwnd(), nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
        pump();
    }

    // The example pictures in a fresh folder with a Chinese name, listed
    // in the window.
    void openExamples() {
        fs::create_directory(picturesFolder());
        for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR)) {
            fs::copy_file(entry.path(), picturesFolder() / entry.path().filename());
        }
        testsupport::writeFile(utf8(picturesFolder() / "notes.txt"), "not a picture");
        chosen = picturesFolder().wstring();
        click(Form1::Command1Id);
    }
    fs::path picturesFolder() const { return folder.path() / L"图片"; }
    fs::path pdfPath() const { return picturesFolder() / L"图片.pdf"; }

    // Closes any message box and keeps its text, so that no test hangs on one.
    ModalWatcher watcher;
    testsupport::TempDir folder;
    std::unique_ptr<Form1> form;
    std::wstring chosen;
    std::wstring chooserTitle;
    std::wstring chooserStart;
    int chooserCalls = 0;
};

const std::vector<std::wstring> examples{L"01-gradient.png", L"02-plasma.jpg", L"03-shapes.gif",
                                         L"04-checker.bmp", L"05-gray-ramp.png"};

TEST_F(Win32WindowTest, StartUpShowsCaptionsTheFourStatusPartsAndAnEmptyList) {
    EXPECT_EQ(windowText(form->hwnd()), L"图片转PDF");
    EXPECT_EQ(windowText(control(Form1::L1Id)), L"图片文件夹转PDF");
    EXPECT_EQ(windowText(control(Form1::L2Id)), L"打开文件夹，排序后点生成");
    // The first tab stop: the window gives it the focus when it is activated.
    EXPECT_EQ(GetNextDlgTabItem(form->hwnd(), nullptr, FALSE), control(Form1::ListId));
    EXPECT_TRUE(rows().empty());

    const HWND bar = StatusProgress::statusBar();
    int edges[8] = {};
    ASSERT_EQ(SendMessageW(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 4);
    EXPECT_EQ(std::vector<int>(edges, edges + 4), (std::vector<int>{36, 136, 174, -1}));
    const std::wstring texts[] = {L"信息：", L"", L" 进度 ", L""};
    const int styles[] = {SBT_NOBORDERS, 0, SBT_NOBORDERS, SBT_NOBORDERS};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(part(i), texts[i]) << i;
        EXPECT_EQ(HIWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(i), 0)),
                  styles[i])
            << i;
    }
    EXPECT_EQ(GetParent(StatusProgress::progressBar()), bar);
}

TEST_F(Win32WindowTest, LayoutStretchesOnlyTheListAndTheStatusBar) {
    // Sizes at 96 dots an inch, 15 twips a pixel: the list starts at 700
    // twips (47 px) and ends 1000 twips (67 px) above the client's bottom.
    ASSERT_EQ(GetDeviceCaps(GetDC(nullptr), LOGPIXELSY), 96);
    RECT client{};
    GetClientRect(form->hwnd(), &client);
    EXPECT_EQ(client.right, 408);
    EXPECT_EQ(client.bottom, 216);
    struct Size {
        const char* name;
        int width, height, listHeight;
    };
    for (const Size& size : {Size{"design", 408, 216, 149}, Size{"wider", 640, 216, 149},
                             Size{"taller", 408, 400, 333}, Size{"under 1000 twips", 408, 60, 0}}) {
        resizeClient(size.width, size.height);
        const RECT list = placeOf(control(Form1::ListId));
        EXPECT_EQ(list.left, 0) << size.name;
        EXPECT_EQ(list.top, 47) << size.name;
        EXPECT_EQ(list.right, size.width) << size.name;
        EXPECT_EQ(list.bottom - list.top, size.listHeight) << size.name;

        const RECT bar = placeOf(StatusProgress::statusBar());
        EXPECT_EQ(bar.bottom, size.height) << size.name;
        EXPECT_EQ(bar.right - bar.left, size.width) << size.name;
        RECT last{};
        SendMessageW(StatusProgress::statusBar(), SB_GETRECT, 3, reinterpret_cast<LPARAM>(&last));
        const RECT progress = placeOf(StatusProgress::progressBar());
        EXPECT_EQ(progress.left, last.left) << size.name;
        EXPECT_EQ(progress.top, last.top) << size.name;
        EXPECT_EQ(progress.right - progress.left, last.right - last.left - 2) << size.name;
        EXPECT_EQ(progress.bottom - progress.top, last.bottom - 3) << size.name;

        const RECT command1 = placeOf(control(Form1::Command1Id));
        EXPECT_EQ(command1.left, 8) << size.name;
        EXPECT_EQ(command1.bottom, 41) << size.name;
        const RECT l2 = placeOf(control(Form1::L2Id));
        EXPECT_EQ(l2.left, 144) << size.name;
        EXPECT_EQ(l2.right, 321) << size.name;
    }
}

TEST_F(Win32WindowTest, OpenListsAChineseFolderMovesAndGenerateWritesTheDocument) {
    openExamples();
    EXPECT_EQ(chooserTitle, L"请选择图片文件夹");
    EXPECT_TRUE(fs::exists(fs::path(chooserStart) / L"win32_window_tests.exe")) << chooserStart;
    ASSERT_EQ(rows(), examples) << (watcher.messages.empty() ? L"" : watcher.messages[0]);
    EXPECT_EQ(part(1), L" 共5幅");

    chosen.clear();  // cancelled
    click(Form1::Command1Id);
    EXPECT_EQ(rows(), examples);

    selectRow(1);
    click(Form1::Command3Id);
    EXPECT_EQ(rows()[0], examples[1]);
    EXPECT_EQ(selectedRow(), 0);
    click(Form1::Command4Id);
    click(Form1::Command4Id);
    EXPECT_EQ(rows()[2], examples[1]);
    EXPECT_EQ(selectedRow(), 2);
    selectRow(4);
    click(Form1::Command4Id);  // the last row stays
    EXPECT_EQ(rows()[4], examples[4]);

    click(Form1::Command2Id);
    EXPECT_TRUE(watcher.messages.empty()) << watcher.messages[0];
    EXPECT_EQ(part(1), L"完成！");
    const HWND progress = StatusProgress::progressBar();
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 6);
    const std::string document = testsupport::readFile(utf8(pdfPath()));
    EXPECT_EQ(document.substr(0, 8), "%PDF-1.4");
    EXPECT_NE(document.find("/Count 5"), std::string::npos);
}

TEST_F(Win32WindowTest, AFailingPictureShowsTheErrorAndKeepsTheWindowListAndEarlierDocument) {
    openExamples();
    click(Form1::Command2Id);
    const std::string earlier = testsupport::readFile(utf8(pdfPath()));
    testsupport::writeFile(utf8(picturesFolder() / "x.png"), "\x89PNG\r\n\x1a\n broken");
    click(Form1::Command1Id);
    const std::vector<std::wstring> before = rows();
    click(Form1::Command2Id);
    ASSERT_EQ(watcher.messages.size(), 1u);
    EXPECT_NE(watcher.messages[0].find(L"x.png"), std::wstring::npos);
    EXPECT_NE(watcher.messages[0].find(L"没有完成：图片已损坏"), std::wstring::npos);
    EXPECT_EQ(testsupport::readFile(utf8(pdfPath())), earlier);
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_EQ(rows(), before);
    selectRow(1);
    click(Form1::Command3Id);  // the window still works
    EXPECT_EQ(rows()[0], before[1]);
}

TEST_F(Win32WindowTest, ClicksDuringARunAreRefused) {
    openExamples();
    // Handled by the run's first runPendingEvents.
    selectRow(1);
    postClick(Form1::Command3Id);
    postClick(Form1::Command1Id);
    postClick(Form1::Command2Id);
    click(Form1::Command2Id);
    pump();
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(rows(), examples);
    EXPECT_TRUE(fs::exists(pdfPath()));
}

TEST_F(Win32WindowTest, ClosingDuringARunWritesNothingAndDestroysTheWindowAfterTheRun) {
    openExamples();
    PostMessageW(form->hwnd(), WM_CLOSE, 0, 0);
    click(Form1::Command2Id);
    EXPECT_FALSE(fs::exists(pdfPath()));
    EXPECT_EQ(form->hwnd(), nullptr);
    EXPECT_EQ(form->job(), nullptr);
    EXPECT_EQ(StatusProgress::statusBar(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
