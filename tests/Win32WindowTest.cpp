// The native Windows window driven by its messages, as clicks and a screen
// reader would, in the Qt window's test scenarios. Runs under Wine on Linux.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "ui/win32/Form1.h"
#include "ui/win32/StatusProgress.h"
#include "ui/win32/WideText.h"

namespace {

namespace fs = std::filesystem;
using folder2pdf::Form1;
namespace StatusProgress = folder2pdf::StatusProgress;

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// A control's rectangle in its parent's client coordinates.
std::tuple<LONG, LONG, LONG, LONG> placeOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

// Keeps every message box's text and closes it, so that no test hangs on
// one: a thread timer, because modal loops dispatch those too.
std::vector<std::wstring> messages;
void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (box && IsWindowVisible(box)) {
        messages.push_back(windowText(GetDlgItem(box, 0xFFFF)));  // the text's static
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

const std::vector<std::string> examples{"a.bmp", "b.bmp", "c.bmp"};

class Win32WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        messages.clear();
        timer = SetTimer(nullptr, 0, 20, closeMessageBox);
        form = std::make_unique<Form1>();
        form->setFolderChooser([this](HWND, const std::wstring& title, const std::wstring& start) {
            EXPECT_EQ(title, L"请选择图片文件夹");
            EXPECT_TRUE(fs::exists(fs::path(start) / L"win32_window_tests.exe")) << start;
            ++chooserCalls;
            return chosen;
        });
        ShowWindow(form->hwnd(), SW_SHOWNORMAL);
        form->runPendingEvents();
    }
    void TearDown() override { KillTimer(nullptr, timer); }

    HWND control(int id) const { return GetDlgItem(form->hwnd(), id); }
    void click(int id) const { SendMessageW(control(id), BM_CLICK, 0, 0); }
    void selectRow(int row) const {
        SendMessageW(control(Form1::ListId), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
    std::wstring part(int index) const {
        wchar_t text[256] = {};
        SendMessageW(StatusProgress::statusBar(), SB_GETTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        wchar_t text[256] = {};
        while (SendMessageW(control(Form1::ListId), LB_GETTEXT, texts.size(),
                            reinterpret_cast<LPARAM>(text)) != LB_ERR) {
            texts.push_back(folder2pdf::narrow(text));
        }
        return texts;
    }

    // A few pictures in a fresh folder, listed in the window.
    void openExamples() {
        for (const std::string& name : examples) {
            folder.add(name, 2, 2);
        }
        chosen = testsupport::u8path(folder.path).wstring();
        click(Form1::Command1Id);
    }
    std::string pdfPath() const { return folder.file("图片.pdf"); }

    UINT_PTR timer = 0;
    testsupport::Folder folder{"图片"};
    std::unique_ptr<Form1> form;
    std::wstring chosen;
    int chooserCalls = 0;
};

TEST_F(Win32WindowTest, StartUpShowsCaptionsStatusPartsAndLayout) {
    EXPECT_EQ(windowText(form->hwnd()), L"图片转PDF");
    EXPECT_EQ(windowText(control(Form1::L1Id)), L"图片文件夹转PDF");
    EXPECT_EQ(windowText(control(Form1::L2Id)), L"打开文件夹，排序后点生成");
    EXPECT_EQ(part(0), L"信息：");
    EXPECT_EQ(part(2), L" 进度 ");
    // 15 twips a pixel: the list runs from 700 twips (47 px) to 1000 (67 px) above the bottom.
    RECT start{};  // the client area opens at 408 x 216
    GetWindowRect(form->hwnd(), &start);
    for (const auto& [width, height, listHeight] :
         {std::tuple{408, 216, 149}, {640, 400, 333}, {408, 60, 0}}) {
        SetWindowPos(form->hwnd(), nullptr, 0, 0, start.right - start.left - 408 + width,
                     start.bottom - start.top - 216 + height, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(placeOf(control(Form1::ListId)), std::tuple(0, 47, width, 47 + listHeight))
            << width << "x" << height;
        RECT last{};  // the status bar's last part, where the progress bar sits
        SendMessageW(StatusProgress::statusBar(), SB_GETRECT, 3, reinterpret_cast<LPARAM>(&last));
        EXPECT_EQ(placeOf(StatusProgress::progressBar()),
                  std::tuple(last.left, last.top, last.right - 2, last.top + last.bottom - 3));
    }
}

TEST_F(Win32WindowTest, OpenListsMovesAndGeneratesTheDocumentWithProgress) {
    openExamples();
    EXPECT_EQ(rows(), examples);
    EXPECT_EQ(part(1), L" 共3幅");
    selectRow(0);
    click(Form1::Command4Id);
    EXPECT_EQ(rows()[1], examples[0]);

    const HWND progress = StatusProgress::progressBar();
    SendMessageW(progress, PBM_SETPOS, 2, 0);  // as a run left it
    click(Form1::Command2Id);
    EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 4);
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(part(1), L"完成！");
    EXPECT_EQ(testsupport::readFile(pdfPath()).substr(0, 8), "%PDF-1.4");
}

TEST_F(Win32WindowTest, FailuresShowTheReasonAndKeepTheListAndTheEarlierDocument) {
    openExamples();
    testsupport::writeFile(pdfPath(), "earlier");
    // The document held open by a program that shares nothing.
    const HANDLE held = CreateFileW(testsupport::u8path(pdfPath()).c_str(), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    click(Form1::Command2Id);
    CloseHandle(held);

    testsupport::writeFile(folder.file("x.png"), "\x89PNG\r\n\x1a\n broken");
    click(Form1::Command1Id);
    const std::vector<std::string> before = rows();
    click(Form1::Command2Id);
    EXPECT_EQ(rows(), before);
    selectRow(1);
    click(Form1::Command3Id);  // the window still takes commands
    EXPECT_EQ(rows()[0], before[1]);
    // A failure after the window was closed shows no box.
    form->setFolderChooser([this](HWND, const std::wstring&, const std::wstring&) {
        SendMessageW(form->hwnd(), WM_CLOSE, 0, 0);
        return testsupport::u8path(folder.file("gone")).wstring();
    });
    click(Form1::Command1Id);

    const std::wstring shown =
        testsupport::u8path(folder.path).generic_wstring();  // "/" between names
    const std::wstring reasons[] = {
        L"没有完成：没有权限：系统拒绝访问这个文件或文件夹。\n" + shown + L"/图片.pdf",
        L"没有完成：图片已损坏，无法读取。\n" + shown + L"/x.png\n\n详细信息："};
    ASSERT_EQ(messages.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messages[i].substr(0, reasons[i].size()), reasons[i]);
    }
    EXPECT_EQ(testsupport::readFile(pdfPath()), "earlier");
}

TEST_F(Win32WindowTest, ClicksDuringARunAreRefusedAndClosingStopsItWritingNothing) {
    openExamples();
    // Handled by the run's first runPendingEvents.
    PostMessageW(control(Form1::Command1Id), BM_CLICK, 0, 0);
    PostMessageW(control(Form1::Command2Id), BM_CLICK, 0, 0);
    PostMessageW(form->hwnd(), WM_CLOSE, 0, 0);
    click(Form1::Command2Id);
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_FALSE(fs::exists(testsupport::u8path(pdfPath())));
    EXPECT_EQ(form->job(), nullptr);
}

}  // namespace
