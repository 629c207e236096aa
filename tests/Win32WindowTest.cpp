// The native Windows window driven by its messages, as clicks and a screen
// reader would, in the scenarios both windows share. Runs under Wine on Linux.

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include <memory>

#include "WindowScenarios.h"
#include "common/SystemWindows.h"
#include "ui/win32/Win32Window.h"

using namespace windowtest;
using folder2pdf::Form1;
using folder2pdf::utf8;
using folder2pdf::Win32Window;

// The answers of the messages sent here fit an int.
static int send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return static_cast<int>(SendMessageW(window, message, wParam, lParam));
}
// A text the window hands over into a buffer, such as WM_GETTEXT's.
static std::string textOf(HWND window, UINT message = WM_GETTEXT, WPARAM wParam = 512) {
    wchar_t text[512] = {};
    send(window, message, wParam, reinterpret_cast<LPARAM>(text));
    return utf8(text);
}
static Place placeOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

// Keeps every message box's text and closes it, so that no test hangs on
// one: a thread timer, because modal loops dispatch those too.
static std::vector<std::string>* boxTexts = nullptr;
static void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (box && IsWindowVisible(box)) {
        boxTexts->push_back(textOf(GetDlgItem(box, 0xFFFF)));  // the text's static
        send(box, WM_COMMAND, IDOK);
    }
}

// Runs the steps a posted WM_APP carries, in whichever loop dispatches it.
static LRESULT CALLBACK runLater(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const std::unique_ptr<std::function<void()>> steps(
        reinterpret_cast<std::function<void()>*>(lParam));
    (*steps)();
    return 0;
}

struct Win32Driver : Recorder {
    Win32Driver() {
        boxTexts = &messages;
        SetWindowLongPtrW(laterWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(runLater));
        form().setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
        ShowWindow(window->hwnd(), SW_SHOWNORMAL);
        GetWindowRect(window->hwnd(), &start);
        form().runPendingEvents();
    }
    ~Win32Driver() {
        KillTimer(nullptr, timer);
        DestroyWindow(laterWindow);
    }

    Form1& form() const { return window->form(); }
    HWND control(Control control) const {
        return GetDlgItem(window->hwnd(), Win32Window::firstControlId + control);
    }
    HWND statusBar() const { return window->statusBar(); }
    HWND progressBar() const { return window->progressBar(); }
    std::string title() const { return textOf(window->hwnd()); }
    std::string text(Control label) const { return textOf(control(label)); }
    std::string part(int index) const { return textOf(statusBar(), SB_GETTEXTW, index); }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int row = 0; row < send(control(List), LB_GETCOUNT); ++row) {
            texts.push_back(textOf(control(List), LB_GETTEXT, row));
        }
        return texts;
    }
    void click(Control button) const { send(control(button), BM_CLICK); }
    void pressDelete() const { send(control(List), WM_KEYDOWN, VK_DELETE); }
    // As Explorer hands dropped files over: their paths after a DROPFILES header.
    void drop(const std::vector<std::string>& paths) const {
        std::wstring names;
        for (const std::string& path : paths) {
            names += folder2pdf::utf16(path) + L'\0';
        }
        const std::size_t bytes = sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t);
        const HGLOBAL memory = GlobalAlloc(GHND, bytes);
        auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        std::memcpy(header + 1, names.c_str(), names.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        send(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory));
    }
    std::string tip() const {
        wchar_t text[512] = {};
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = statusBar();
        tool.uId = 1;
        tool.lpszText = text;
        send(window->documentTip(), TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        std::string path = utf8(text);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }
    void selectRow(int row) const { send(control(List), LB_SETCURSEL, row); }
    void resize(int width, int height) const {  // from the client area's opening 408 x 216
        SetWindowPos(window->hwnd(), nullptr, 0, 0, start.right - start.left - 408 + width,
                     start.bottom - start.top - 216 + height, SWP_NOMOVE | SWP_NOZORDER);
    }
    // The list, the status bar's last part and the progress bar.
    std::array<Place, 3> layout() const {
        RECT last{};
        send(statusBar(), SB_GETRECT, 3, reinterpret_cast<LPARAM>(&last));
        return {placeOf(control(List)), Place{last.left, last.top, last.right, last.bottom},
                placeOf(progressBar())};
    }
    std::array<int, 2> progress() const {
        return {send(progressBar(), PBM_GETRANGE, FALSE), send(progressBar(), PBM_GETPOS)};
    }
    void setProgress(int value) const { send(progressBar(), PBM_SETPOS, value); }
    void later(std::function<void()> steps) const {
        PostMessageW(laterWindow, WM_APP, 0,
                     reinterpret_cast<LPARAM>(new std::function<void()>(std::move(steps))));
    }
    void close() const { send(window->hwnd(), WM_CLOSE); }

    RECT start{};
    UINT_PTR timer = SetTimer(nullptr, 0, 20, closeMessageBox);
    HWND laterWindow =
        CreateWindowW(L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::unique_ptr<Win32Window> window = std::make_unique<Win32Window>();
};
INSTANTIATE_TYPED_TEST_SUITE_P(Win32WindowTest, Window, Win32Driver);

// The status bar's fixed parts grow with the screen's resolution, so that
// their labels keep fitting: run here and, by CTest, in a prefix at 144 dpi.
TEST(Win32StatusBar, PartsScaleWithTheScreen) {
    const Win32Window window;
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    std::array<int, 4> edges{};
    send(window.statusBar(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges.data()));
    EXPECT_EQ(edges, (std::array<int, 4>{36 * dpi / 96, 136 * dpi / 96, 174 * dpi / 96, -1}))
        << dpi << " dpi";
}
