// The native Windows window driven by its messages, as clicks and a screen
// reader would, in the scenarios both windows share. Runs under Wine on Linux.

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "WindowScenarios.h"
#include "ui/win32/Form1.h"
#include "ui/win32/StatusProgress.h"
#include "ui/win32/WideText.h"

using namespace windowtest;
using namespace folder2pdf;

namespace {

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(window, message, wParam, lParam);
}
// A text the window hands over into a buffer, such as WM_GETTEXT's.
std::string textOf(HWND window, UINT message = WM_GETTEXT, WPARAM wParam = 512) {
    wchar_t text[512] = {};
    send(window, message, wParam, reinterpret_cast<LPARAM>(text));
    return narrow(text);
}
Place placeOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

// Keeps every message box's text and closes it, so that no test hangs on
// one: a thread timer, because modal loops dispatch those too.
std::vector<std::string>* boxTexts = nullptr;
void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (box && IsWindowVisible(box)) {
        boxTexts->push_back(textOf(GetDlgItem(box, 0xFFFF)));  // the text's static
        send(box, WM_COMMAND, IDOK);
    }
}

}  // namespace

struct Win32Window : Recorder {
    Win32Window() {
        boxTexts = &messages;
        form->setFolderChooser([this](HWND, const std::wstring& title, const std::wstring& start) {
            EXPECT_TRUE(std::filesystem::exists(start + L"/win32_window_tests.exe"));
            return widen(choose(narrow(title)));
        });
        ShowWindow(form->hwnd(), SW_SHOWNORMAL);
        form->runPendingEvents();
    }
    ~Win32Window() { KillTimer(nullptr, timer); }

    HWND control(Control control) const {
        return GetDlgItem(form->hwnd(), int{Form1::ListId} + control);
    }
    std::string title() const { return textOf(form->hwnd()); }
    std::string text(Control label) const { return textOf(control(label)); }
    std::string part(int index) const {
        return textOf(StatusProgress::statusBar(), SB_GETTEXTW, index);
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int row = 0; row < send(control(List), LB_GETCOUNT); ++row) {
            texts.push_back(textOf(control(List), LB_GETTEXT, row));
        }
        return texts;
    }
    void click(Control button) const { send(control(button), BM_CLICK); }
    void selectRow(int row) const { send(control(List), LB_SETCURSEL, row); }
    void resize(int width, int height) const {
        RECT outer{}, client{};
        GetWindowRect(form->hwnd(), &outer);
        GetClientRect(form->hwnd(), &client);
        SetWindowPos(form->hwnd(), nullptr, 0, 0, outer.right - outer.left - client.right + width,
                     outer.bottom - outer.top - client.bottom + height, SWP_NOMOVE | SWP_NOZORDER);
    }
    // The list, the status bar's last part and the progress bar.
    std::array<Place, 3> layout() const {
        RECT last{};
        send(StatusProgress::statusBar(), SB_GETRECT, 3, reinterpret_cast<LPARAM>(&last));
        return {placeOf(control(List)), Place{last.left, last.top, last.right, last.bottom},
                placeOf(StatusProgress::progressBar())};
    }
    std::pair<int, int> progress() const {
        return {send(StatusProgress::progressBar(), PBM_GETRANGE, FALSE),
                send(StatusProgress::progressBar(), PBM_GETPOS)};
    }
    void setProgress(int value) const { send(StatusProgress::progressBar(), PBM_SETPOS, value); }
    void later(Control button) const { PostMessageW(control(button), BM_CLICK, 0, 0); }
    void laterClose() const { PostMessageW(form->hwnd(), WM_CLOSE, 0, 0); }
    void close() const { send(form->hwnd(), WM_CLOSE); }
    // The document held open by a program that shares nothing.
    void whileUnwritable(const std::string& document, const std::function<void()>& run) const {
        const HANDLE held = CreateFileW(widen(document).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        run();
        CloseHandle(held);
    }

    UINT_PTR timer = SetTimer(nullptr, 0, 20, closeMessageBox);
    std::unique_ptr<Form1> form = std::make_unique<Form1>();
};
INSTANTIATE_TYPED_TEST_SUITE_P(Win32WindowTest, Window, Win32Window);
