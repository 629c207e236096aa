// The native Windows window driven by its messages, as clicks and a screen
// reader would, in the scenarios both windows share. Runs under Wine on Linux.

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "WindowScenarios.h"
#include "common/SystemWindows.h"
#include "ui/shared/WindowTexts.h"
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
// one: a thread timer, because modal loops dispatch those too. Only this
// thread's boxes: tests run side by side under one Wine server.
static std::vector<std::string>* boxTexts = nullptr;
static void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (box) {
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
    Win32Driver() : window(freshWindow()) {
        boxTexts = &messages;
        SetWindowLongPtrW(laterWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(runLater));
        form().setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
        window->setPicturesChooser([this](const std::string&, const std::string&,
                                          const std::vector<std::string>&) {
            return picturesChosen;
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
    // As the thread's loop finds it.
    void pressDelete() const {
        PostMessageW(control(List), WM_KEYDOWN, VK_DELETE, 0);
        form().runPendingEvents();
    }
    // Through what the loop hands a key to, with the modifiers as given.
    void key(Key key, bool ctrl, bool shift = false) const {
        const std::map<Key, WPARAM> codes{
            {Key::O, 'O'},      {Key::S, 'S'},          {Key::R, 'R'},           {Key::L, 'L'},
            {Key::Z, 'Z'},      {Key::T, 'T'},          {Key::Up, VK_UP},        {Key::Down, VK_DOWN},
            {Key::Delete, VK_DELETE}, {Key::Escape, VK_ESCAPE}};
        MSG message{control(List), WM_KEYDOWN, codes.at(key), 0, 0, {}};
        window->takeKey(message, ctrl, shift);
    }
    void selectRows(const std::vector<int>& rows) const {
        send(control(List), LB_SETSEL, FALSE, -1);
        for (const int row : rows) {
            send(control(List), LB_SETSEL, TRUE, row);
        }
    }
    std::vector<int> selection() const {
        std::vector<int> rows(static_cast<std::size_t>(send(control(List), LB_GETSELCOUNT)));
        send(control(List), LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data()));
        return rows;
    }
    // Where the mouse lets go of a drag of the selected rows.
    void dragTo(int row) const { window->list().dropDragged(row); }
    // The middle of row `row`'s part in view, scrolled into it, in the
    // window's client area.
    POINT rowPoint(int row) const {
        send(control(List), LB_SETTOPINDEX, row);
        RECT place{}, client{};
        send(control(List), LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&place));
        GetClientRect(control(List), &client);
        POINT point{(place.left + place.right) / 2,
                    (place.top + std::min(place.bottom, client.bottom)) / 2};
        MapWindowPoints(control(List), window->hwnd(), &point, 1);
        return point;
    }
    void dropOnList(const std::vector<std::string>& paths, int row) const {
        drop(paths, rowPoint(row));
    }
    // A right-click on the row; the menu's loop takes the keys that choose
    // item `item` (separators are stepped over, as the index counts them not).
    void contextMenu(int row, int item) const {
        for (int step = 0; step <= item; ++step) {
            PostMessageW(control(List), WM_KEYDOWN, VK_DOWN, 0);
        }
        PostMessageW(control(List), WM_KEYDOWN, VK_RETURN, 0);
        POINT point = rowPoint(row);
        ClientToScreen(window->hwnd(), &point);
        send(window->hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control(List)),
             MAKELPARAM(point.x, point.y));
    }
    // Scrolls down a page whenever every row in view has its thumbnail.
    bool waitForThumbnails(int rows) const {
        std::set<int> seen;
        for (int wait = 0; wait < 1000; ++wait, Sleep(10)) {
            form().runPendingEvents();
            const auto [first, end] = window->list().visibleRows();
            bool all = true;
            for (int row = first; row < end; ++row) {
                if (window->list().hasThumbnail(row)) {
                    seen.insert(row);
                } else {
                    all = false;
                }
            }
            if (static_cast<int>(seen.size()) >= rows) {
                return true;
            }
            if (all) {
                send(control(List), WM_VSCROLL, SB_PAGEDOWN);
            }
        }
        return false;
    }
    // As Explorer hands dropped files over: their paths after a DROPFILES
    // header, dropped at `point` of the window's client area.
    void drop(const std::vector<std::string>& paths, POINT point = {}) const {
        std::wstring names;
        for (const std::string& path : paths) {
            names += folder2pdf::utf16(path) + L'\0';
        }
        const std::size_t bytes = sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t);
        const HGLOBAL memory = GlobalAlloc(GHND, bytes);
        auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
        header->pFiles = sizeof(DROPFILES);
        header->pt = point;
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
        path.erase(std::remove(path.begin(), path.end(), '\r'), path.end());  // "\r\n" ends a line
        return path;
    }
    void selectRow(int row) const { selectRows({row}); }
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
    // PostMessage may come from any thread.
    void fromAnyThread(std::function<void()> steps) const { later(std::move(steps)); }
    void close() const { send(window->hwnd(), WM_CLOSE); }

    RECT start{};
    UINT_PTR timer = SetTimer(nullptr, 0, 20, closeMessageBox);
    HWND laterWindow =
        CreateWindowW(L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::unique_ptr<Win32Window> window;

  private:
    // A window as on a first start: the settings of tests before are gone.
    static std::unique_ptr<Win32Window> freshWindow() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\folder2pdf");
        return std::make_unique<Win32Window>();
    }
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

// The path a Windows program is given: full, with "\" between names.
static std::wstring windowsPath(const std::string& path) {
    return folder2pdf::utf16(folder2pdf::shownPath(folder2pdf::absolutePath(path)));
}

// The window the process `id` made, once its list has `rows` rows; null
// after 20 s without.
static HWND windowListing(DWORD id, int rows) {
    struct Search {
        DWORD id;
        HWND found = nullptr;
    } search{id};
    for (int wait = 0; wait < 400; ++wait, Sleep(50)) {
        EnumWindows(
            [](HWND window, LPARAM data) {
                auto& search = *reinterpret_cast<Search*>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                wchar_t name[64] = {};
                GetClassNameW(window, name, 64);
                if (owner == search.id && std::wstring(name) == L"folder2pdf.Form1") {
                    search.found = window;
                }
                return search.found == nullptr ? TRUE : FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        const HWND list = GetDlgItem(search.found, Win32Window::firstControlId);
        if (search.found && send(list, LB_GETCOUNT) == rows) {
            return search.found;
        }
    }
    return nullptr;
}

// As Explorer's 转换为PDF and Send To start the window ("INSTDIR\folder2pdf-
// gui.exe" "%1"), a few times in a row, on a folder and, where CTest maps
// one for the test (FOLDER2PDF_DRIVE_ROOT, an empty drive such as "P:"),
// on a drive's root, which arrives as "P:\": each start lists the folder
// and closes cleanly.
TEST(Win32Start, EveryStartOnAGivenFolderListsItAndEndsCleanly) {
    testsupport::Folder folder("图片");
    std::vector<std::wstring> given(4, windowsPath(folder.path));
    const char* root = std::getenv("FOLDER2PDF_DRIVE_ROOT");
    if (root != nullptr) {
        given.push_back(folder2pdf::utf16(root) + L"\\");
    }
    for (const std::string& name : examples) {
        folder.add(name, 2, 2);
        if (root != nullptr) {
            testsupport::writeFile(std::string(root) + "/" + name, testsupport::bmpPicture(2, 2));
        }
    }
    for (const std::wstring& path : given) {
        std::wstring line = L"\"" + windowsPath(FOLDER2PDF_GUI_EXE) + L"\" \"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process));
        const HWND window = windowListing(process.dwProcessId, 3);
        EXPECT_NE(window, nullptr) << utf8(line);
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 9);
        }
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        EXPECT_EQ(status, 0u) << utf8(line);  // 0xC0000094 for a division by zero
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// The folder opened last is kept as Windows writes paths, and read back
// whichever way it was written (earlier versions wrote "/").
TEST(Win32Settings, TheFolderOpenedLastIsKeptWithBackslashesAndReadEitherWay) {
    testsupport::Folder folder("图片");
    folder.add("a.bmp", 2, 2);
    Win32Driver w;
    w.chosen = folder.path;
    w.form().openGivenFolder(folder.path);
    const auto stored = [] {
        wchar_t value[1024] = {};
        DWORD bytes = sizeof value;
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\folder2pdf", L"lastFolder", RRF_RT_REG_SZ,
                     nullptr, value, &bytes);
        return utf8(value);
    };
    EXPECT_EQ(stored(), folder2pdf::shownPath(folder.path));
    for (const std::string& written : {folder.path, folder2pdf::shownPath(folder.path)}) {
        const std::wstring value = folder2pdf::utf16(written);
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\folder2pdf", L"lastFolder", REG_SZ,
                        value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        w.click(Command1);
        EXPECT_EQ(w.starts.back(), folder.path) << written;
    }
}

// 大小上限… asks in a box of the window's own, made in memory: its prompt,
// and the field's text as the answer (确定, pressed here as every box is).
TEST(Win32TextBox, TheSizeLimitIsAskedInABoxAndTakenFromItsField) {
    Win32Driver w;
    const std::vector<folder2pdf::MenuItem> items = w.form().Command2_Menu();
    const auto limit = std::find_if(items.begin(), items.end(),
                                    [](const auto& item) { return item.text == "大小上限…"; });
    ASSERT_NE(limit, items.end());
    w.form().Command2_MenuClick(static_cast<int>(limit - items.begin()));
    EXPECT_EQ(w.messages, std::vector<std::string>{folder2pdf::maxSizePrompt});
    EXPECT_EQ(w.form().Command2_Menu()[limit - items.begin()].text, "大小上限（5MB）…");
}
