#include "ui/win32/Win32Window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <vector>

#include "common/Path.h"
#include "common/SystemWindows.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowTexts.h"
#include "ui/shared/WindowToolkit.h"
#include "ui/win32/AccessibleName.h"
#include "ui/win32/BrowseDirectorysOnly.h"
#include "ui/win32/TextBox.h"

namespace folder2pdf {

namespace {

constexpr wchar_t windowClassName[] = L"folder2pdf.Form1";
constexpr DWORD windowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD windowExtendedStyle = WS_EX_CONTROLPARENT;
// Posted by any thread when thumbnails became ready.
constexpr UINT thumbnailsMessage = WM_APP + 1;
// The widest a tip grows before its lines wrap, at 96 dpi.
constexpr int tipWidth = 480;

// The keys Form1 takes, by their virtual-key codes.
constexpr std::pair<WPARAM, Key> windowKeys[] = {
    {'O', Key::O},       {'S', Key::S},          {'R', Key::R},
    {'L', Key::L},       {'Z', Key::Z},          {'T', Key::T},
    {VK_UP, Key::Up},    {VK_DOWN, Key::Down},   {VK_DELETE, Key::Delete},
    {VK_ESCAPE, Key::Escape}};

std::optional<Key> windowKey(WPARAM virtualKey) {
    for (const auto& [code, key] : windowKeys) {
        if (code == virtualKey) {
            return key;
        }
    }
    return std::nullopt;
}

// A tooltip's lines: the tooltip control breaks them at "\r\n".
std::wstring tipText(const std::string& text) {
    std::wstring lines;
    for (const wchar_t c : utf16(text)) {
        if (c == L'\n') {
            lines += L'\r';
        }
        lines += c;
    }
    return lines;
}

// The files an Explorer-style open dialog chose: one full path, or a
// folder then its files' names, each ended by a NUL and the list by
// another.
std::vector<std::wstring> chosenFiles(const std::wstring& buffer) {
    std::vector<std::wstring> parts;
    for (std::size_t at = 0; at < buffer.size() && buffer[at] != L'\0';) {
        const std::size_t end = std::min(buffer.find(L'\0', at), buffer.size());
        parts.push_back(buffer.substr(at, end - at));
        at = end + 1;
    }
    if (parts.size() <= 1) {
        return parts;
    }
    std::wstring folder = parts.front();
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    std::vector<std::wstring> files;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        files.push_back(folder + parts[i]);
    }
    return files;
}

// The design's face with the GB2312 character set. The window's default
// font, which the list keeps, is the same face at 9 points, not bold, on
// the program's home system.
HFONT designFont(const ControlDesign& design, int dpi) {
    const int tenths = design.fontTenths != 0 ? design.fontTenths : 90;
    const int weight = design.fontTenths != 0 ? FW_BOLD : FW_NORMAL;
    return CreateFontW(-MulDiv(tenths, dpi, 720), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, utf16(designFontFace).c_str());
}

// A function of user32.dll that older Windows lacks, or null.
template <typename Function>
Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The system's resolution: the screen's, else GetDpiForSystem's (Windows
// 10), else Windows' standard 96. A screen DC can fail, and the answers
// can be 0, while a session's desktop is still being made.
int systemDpi() {
    if (const HDC screen = GetDC(nullptr)) {
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpi > 0) {
            return dpi;
        }
    }
    using DpiForSystem = UINT(WINAPI*)();
    if (const auto dpiForSystem = user32Function<DpiForSystem>("GetDpiForSystem")) {
        if (const UINT dpi = dpiForSystem(); dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    return 96;
}

// The resolution of `window`'s own screen where Windows tells it (Windows
// 10), else the system's (Windows 7 and 8.1 have only that). GetDpiForWindow
// answers 0 when it has no answer, as Wine 8 does now and then for a
// window just made.
int windowDpi(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    if (const auto dpiForWindow = user32Function<DpiForWindow>("GetDpiForWindow")) {
        if (const UINT dpi = dpiForWindow(window); dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    return systemDpi();
}

// Paths cross between the window and the engine in the engine's form, UTF-8
// with "/" between names, and reach Windows' own dialogs as it shows them.
std::string enginePath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return utf8(path);
}

std::wstring windowsPath(const std::string& path) {
    return utf16(shownPath(path));
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A message box whose buttons carry our captions, whatever the system's
// language: the box is made with two or three buttons of its own (Retry and
// Cancel; Abort, Retry and Ignore) and renamed as it opens, through a CBT
// hook on this thread. Such boxes exist on every Windows; a task dialog
// would need the version 6 common controls.
thread_local const std::vector<std::string>* boxCaptions = nullptr;
thread_local HHOOK boxHook = nullptr;
constexpr int twoButtonIds[] = {IDRETRY, IDCANCEL};
constexpr int threeButtonIds[] = {IDABORT, IDRETRY, IDIGNORE};

LRESULT CALLBACK renameBoxButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && boxCaptions) {
        const auto box = reinterpret_cast<HWND>(wParam);
        const int* ids = boxCaptions->size() == 3 ? threeButtonIds : twoButtonIds;
        for (std::size_t i = 0; i < boxCaptions->size(); ++i) {
            SetDlgItemTextW(box, ids[i], utf16((*boxCaptions)[i]).c_str());
        }
        boxCaptions = nullptr;
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

int askWithCaptions(HWND owner, const std::string& text, const std::vector<std::string>& buttons) {
    const bool three = buttons.size() == 3;
    boxCaptions = &buttons;
    boxHook = SetWindowsHookExW(WH_CBT, renameBoxButtons, nullptr, GetCurrentThreadId());
    const int pressed =
        MessageBoxW(owner, utf16(text).c_str(), windowText(owner).c_str(),
                    (three ? MB_ABORTRETRYIGNORE : MB_RETRYCANCEL) | MB_ICONWARNING);
    if (boxHook) {
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    boxCaptions = nullptr;
    const int* ids = three ? threeButtonIds : twoButtonIds;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (ids[i] == pressed) {
            return static_cast<int>(i);
        }
    }
    return -1;
}


}  // namespace

// Draws the design in the window; `hwnd` is set once the window exists.
class Win32Window::Toolkit : public WindowToolkit {
  public:
    HWND hwnd = nullptr;
    HWND statusBar = nullptr;
    HWND progressBar = nullptr;
    std::unique_ptr<PictureList> pictures;
    std::atomic<bool> thumbnailsPosted{false};
    std::optional<Size> leastClient;
    // Where a menu opened from the keyboard goes, instead of the mouse.
    std::optional<POINT> menuPoint;

    explicit Toolkit(Win32Window& window) : window_(window), dpi_(systemDpi()) {}
    ~Toolkit() override {
        for (const HFONT font : fonts_) {
            DeleteObject(font);
        }
    }

    HWND control(Control control) const {
        return GetDlgItem(hwnd, firstControlId + static_cast<int>(control));
    }
    // The controls' fonts at the current resolution, made anew when it changes.
    void applyFonts() {
        const std::vector<HFONT> previous = std::move(fonts_);
        fonts_.clear();
        for (const ControlDesign& design : controlDesigns) {
            fonts_.push_back(designFont(design, dpi_));
            SendMessageW(control(design.id), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.back()),
                         TRUE);
        }
        for (const HFONT font : previous) {
            DeleteObject(font);
        }
    }
    void setDpi(int dpi) { dpi_ = dpi; }
    LRESULT labelColors(HDC dc, HWND label) const {
        for (const ControlDesign& design : controlDesigns) {
            if (design.textColor && control(design.id) == label) {
                const Rgb& color = *design.textColor;
                SetTextColor(dc, RGB(color.red, color.green, color.blue));
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
        }
        return DefWindowProcW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(label));
    }

    int dpi() const override { return dpi_; }
    Size clientSize() const override {
        RECT client{};
        GetClientRect(hwnd, &client);
        return {client.right, client.bottom};
    }
    void setClientSize(Size size) override {
        RECT frame{0, 0, size.width, size.height};
        AdjustWindowRectEx(&frame, windowStyle, FALSE, windowExtendedStyle);
        SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void createControl(const ControlDesign& design) override {
        const wchar_t* windowClass = L"STATIC";
        DWORD style = SS_LEFT | SS_NOPREFIX;
        DWORD extendedStyle = 0;
        const auto id = static_cast<INT_PTR>(firstControlId + static_cast<int>(design.id));
        if (design.kind == ControlKind::List) {
            pictures = std::make_unique<PictureList>(
                hwnd, static_cast<int>(id),
                PictureList::Events{[this] { window_.form_->List_Scrolled(); },
                                    [this](int row) { window_.form_->List_DragMoved(row); },
                                    [this](HWND old, HWND) { listRemade(old); }});
            return;
        }
        if (design.kind != ControlKind::Label) {
            windowClass = L"BUTTON";
            // The split button's arrow opens its menu (BCN_DROPDOWN).
            style = WS_TABSTOP |
                    (design.kind == ControlKind::ButtonWithMenu ? BS_SPLITBUTTON : BS_PUSHBUTTON);
        }
        CreateWindowExW(extendedStyle, windowClass, utf16(design.caption).c_str(),
                        WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd,
                        reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr), nullptr);
    }
    void moveControl(Control which, const Rect& place) override {
        MoveWindow(control(which), place.left, place.top, place.width(), place.height(), TRUE);
    }
    void setCaption(Caption which, const std::u16string& text) override {
        static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is UTF-16");
        const HWND target = which == Caption::Window ? hwnd
                            : which == Caption::L1   ? control(Control::L1)
                                                     : control(Control::L2);
        SetWindowTextW(target, reinterpret_cast<LPCWSTR>(text.c_str()));
    }

    void clearRows() override { pictures->clear(); }
    void addRows(const std::vector<std::string>& texts) override { pictures->addRows(texts); }
    void setRow(int row, const std::string& text) override { pictures->setRow(row, text); }
    int rowCount() const override { return pictures->rowCount(); }
    std::vector<int> selectedRows() const override { return pictures->selectedRows(); }
    void selectRows(const std::vector<int>& rows) override { pictures->selectRows(rows); }

    void setListMode(ListMode mode, std::int32_t side) override { pictures->setMode(mode, side); }
    std::pair<int, int> visibleRows() const override { return pictures->visibleRows(); }
    void setRowThumbnail(int row, const Thumbnail* thumbnail) override {
        pictures->setThumbnail(row, thumbnail);
    }
    void postThumbnailsReady() override {
        // Many workers finishing at once make one message.
        if (!thumbnailsPosted.exchange(true)) {
            PostMessageW(hwnd, thumbnailsMessage, 0, 0);
        }
    }

    std::vector<std::string> choosePictures(const std::string& title,
                                            const std::string& startFolder,
                                            const std::vector<std::string>& patterns) override {
        if (window_.picturesChooser_) {
            return window_.picturesChooser_(title, startFolder, patterns);
        }
        std::string joined;
        for (const std::string& pattern : patterns) {
            joined += (joined.empty() ? "" : ";") + pattern;
        }
        const std::wstring filter =
            utf16(std::string(picturesFilterCaption) + " (" + joined + ")") + L'\0' +
            utf16(joined) + L'\0' + utf16(std::string(allFilesFilterCaption) + " (*.*)") + L'\0' +
            L"*.*" + L'\0';
        // Room for thousands of names at once.
        std::wstring files(1 << 18, L'\0');
        const std::wstring caption = utf16(title);
        const std::wstring start = windowsPath(startFolder);
        OPENFILENAMEW choice{};
        choice.lStructSize = sizeof choice;
        choice.hwndOwner = hwnd;
        choice.lpstrFilter = filter.c_str();
        choice.lpstrFile = files.data();
        choice.nMaxFile = static_cast<DWORD>(files.size());
        choice.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
        choice.lpstrTitle = caption.c_str();
        choice.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST |
                       OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (!GetOpenFileNameW(&choice)) {
            return {};
        }
        std::vector<std::string> paths;
        for (const std::wstring& file : chosenFiles(files)) {
            paths.push_back(enginePath(file));
        }
        return paths;
    }
    std::optional<std::string> askText(const std::string& prompt,
                                       const std::string& initial) override {
        const std::optional<std::wstring> given =
            TextBox::ask(hwnd, windowText(hwnd), utf16(prompt), utf16(initial));
        return given ? std::optional<std::string>(utf8(*given)) : std::nullopt;
    }
    std::string picturesFolder() const override {
        wchar_t path[MAX_PATH] = {};
        if (SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
            return "";
        }
        return enginePath(path);
    }
    void setMinimumClientSize(Size size) override { leastClient = size; }
    void setControlTip(Control which, const std::string& tip) override {
        tips_[static_cast<std::size_t>(which)] = tipText(tip);
        addControlTip(which);
    }
    void setAccessibleName(Control which, const std::string& name) override {
        names_[static_cast<std::size_t>(which)] = utf16(name);
        AccessibleName::set(control(which), names_[static_cast<std::size_t>(which)]);
    }

    void setStatusParts(const std::array<std::int32_t, 4>& rightEdges) override {
        static_assert(sizeof(int) == sizeof(std::int32_t));
        SendMessageW(statusBar, SB_SETPARTS, rightEdges.size(),
                     reinterpret_cast<LPARAM>(rightEdges.data()));
    }
    void createStatusBar() override {
        statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                    hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        // The message part's tooltip, over the part's rectangle.
        tooltip = makeTips();
        TOOLINFOW tool = tooltipTool();
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    void setPartText(std::int32_t part, const std::string& text, std::int32_t style) override {
        // The part index goes in the low byte of wParam, the style flags above it.
        const std::int32_t flags = style == StatusProgress::noBorders ? SBT_NOBORDERS : 0;
        SendMessageW(statusBar, SB_SETTEXTW, static_cast<WPARAM>(part | flags),
                     reinterpret_cast<LPARAM>(utf16(text).c_str()));
    }
    Rect fitStatusBar(std::int32_t part) override {
        // The bar doesn't take this rectangle: it refits itself along the
        // bottom edge of its parent, at the parent's width and its own height.
        MoveWindow(statusBar, 0, 0, 0, 0, TRUE);
        TOOLINFOW tool = tooltipTool();
        SendMessageW(statusBar, SB_GETRECT, StatusProgress::messagePart,
                     reinterpret_cast<LPARAM>(&tool.rect));
        SendMessageW(tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        RECT r{};
        SendMessageW(statusBar, SB_GETRECT, static_cast<WPARAM>(part),
                     reinterpret_cast<LPARAM>(&r));
        return {r.left, r.top, r.right, r.bottom};
    }
    void destroyStatusBar() override {
        DestroyWindow(tooltip);
        DestroyWindow(statusBar);
        statusBar = nullptr;
    }

    void createProgressBar() override {
        // Born in the window and then moved into the bar, where (0, 0) and
        // 100 x 10 count from the bar's corner until the first refit.
        progressBar =
            CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 0,
                            100, 10, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetParent(progressBar, statusBar);
        // Visual styles draw the bar in the theme's colors and ignore these;
        // the classic look shows them.
        SendMessageW(progressBar, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(RGB(255, 255, 255)));
        SendMessageW(progressBar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(255, 0, 0)));
    }
    void moveProgressBar(const Rect& place) override {
        MoveWindow(progressBar, place.left, place.top, place.width(), place.height(), TRUE);
    }
    void setProgressRange(std::int32_t low, std::int32_t high) override {
        SendMessageW(progressBar, PBM_SETRANGE32, static_cast<WPARAM>(low),
                     static_cast<LPARAM>(high));
    }
    void setProgressPos(std::int32_t position) override {
        SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void destroyProgressBar() override {
        DestroyWindow(progressBar);
        progressBar = nullptr;
    }

    std::string setting(const char* key) const override {
        wchar_t value[32768];
        DWORD bytes = sizeof value;
        const LSTATUS read = RegGetValueW(HKEY_CURRENT_USER, settingsKey, utf16(key).c_str(),
                                          RRF_RT_REG_SZ, nullptr, value, &bytes);
        return read == ERROR_SUCCESS ? enginePath(value) : std::string();
    }
    void setSetting(const char* key, const std::string& value) override {
        const std::wstring text = windowsPath(value);
        RegSetKeyValueW(HKEY_CURRENT_USER, settingsKey, utf16(key).c_str(), REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    int showMenu(const std::vector<MenuItem>& items, const Control* underControl) override {
        // At the mouse, or below the control (for a menu opened from the keyboard too).
        POINT point{};
        GetCursorPos(&point);
        if (menuPoint) {
            point = *menuPoint;
        }
        if (underControl) {
            RECT place{};
            GetWindowRect(control(*underControl), &place);
            point = {place.left, place.bottom};
        }
        const HMENU menu = CreatePopupMenu();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].separatorBefore) {
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            }
            // The item's key at its right, as menus show them.
            std::wstring text = utf16(items[i].text);
            if (*items[i].keys != '\0') {
                text += L'\t' + utf16(items[i].keys);
            }
            AppendMenuW(menu, MF_STRING | (items[i].checked ? MF_CHECKED : 0), i + 1,
                        text.c_str());
        }
        const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y,
                                           0, hwnd, nullptr);
        DestroyMenu(menu);
        return chosen - 1;
    }
    void setDocumentTip(const std::string& path) override {
        const std::wstring text = tipText(shownPath(path));
        TOOLINFOW tool = tooltipTool();
        tool.lpszText = const_cast<LPWSTR>(text.c_str());
        SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    void openDocument(const std::string& path) override {
        ShellExecuteW(hwnd, L"open", windowsPath(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    std::string chooseFolder(const std::string& title, const std::string& startFolder) override {
        return enginePath(
            BrowseDirectorysOnly::browseFolder(hwnd, utf16(title), windowsPath(startFolder)));
    }
    std::string chooseDocument(const std::string& title, const std::string& startPath) override {
        std::wstring file = windowsPath(startPath);
        file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
        const std::wstring caption = utf16(title);
        OPENFILENAMEW choice{};
        choice.lStructSize = sizeof choice;
        choice.hwndOwner = hwnd;
        choice.lpstrFilter = L"PDF (*.pdf)\0*.pdf\0";
        choice.lpstrFile = file.data();
        choice.nMaxFile = static_cast<DWORD>(file.size());
        choice.lpstrTitle = caption.c_str();
        choice.lpstrDefExt = L"pdf";
        choice.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (!GetSaveFileNameW(&choice)) {
            return "";
        }
        file.resize(std::wcslen(file.c_str()));
        return enginePath(file);
    }
    void showError(const std::string& text) override {
        MessageBoxW(hwnd, utf16(text).c_str(), windowText(hwnd).c_str(), MB_OK | MB_ICONERROR);
    }
    int askChoice(const std::string& text, const std::vector<std::string>& buttons) override {
        return askWithCaptions(hwnd, text, buttons);
    }
    void setGenerateCaption(const std::string& text) override {
        SetWindowTextW(control(Control::Command2), utf16(text).c_str());
    }
    void runPendingEvents() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Not ours to take: the thread's own loop must still see it.
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            if (!window_.takeMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    void closeWindow() override { DestroyWindow(hwnd); }

    std::vector<std::string> droppedPaths(HDROP drop) const {
        std::vector<std::string> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
            path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
            paths.push_back(enginePath(path));
        }
        return paths;
    }

    HWND tooltip = nullptr;

  private:
    // The values are paths (the folder opened last) and numbers. A path is
    // stored as Windows writes paths, with "\", and read back in the
    // engine's form, with "/", whichever way it was written: earlier
    // versions wrote "/".
    static constexpr const wchar_t* settingsKey = L"Software\\folder2pdf";

    TOOLINFOW tooltipTool() const {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = statusBar;
        tool.uId = 1;
        tool.lpszText = const_cast<LPWSTR>(L"");
        return tool;
    }

    // A tooltip control of the window's; a long tip (a path) comes in lines.
    HWND makeTips() const {
        const HWND tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr,
                                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0, hwnd,
                                          nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, MulDiv(tipWidth, dpi_, 96));
        return tips;
    }
    // The controls' tips, made with the first; the lines of a tip break
    // where they say, and where it grows wider than tipWidth.
    void addControlTip(Control which) {
        const std::wstring& tip = tips_[static_cast<std::size_t>(which)];
        if (tip.empty()) {
            return;
        }
        if (!controlTips_) {
            controlTips_ = makeTips();
        }
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(control(which));
        tool.lpszText = const_cast<LPWSTR>(tip.c_str());
        SendMessageW(controlTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // The list is a new window after a change of view: its tip and name again.
    void listRemade(HWND old) {
        if (controlTips_) {
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = hwnd;
            tool.uId = reinterpret_cast<UINT_PTR>(old);
            SendMessageW(controlTips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        addControlTip(Control::List);
        AccessibleName::set(control(Control::List),
                            names_[static_cast<std::size_t>(Control::List)]);
    }

    Win32Window& window_;
    int dpi_;
    std::vector<HFONT> fonts_;
    HWND controlTips_ = nullptr;
    std::array<std::wstring, controlCount> tips_;
    std::array<std::wstring, controlCount> names_;
};

Win32Window::Win32Window() : toolkit_(std::make_unique<Toolkit>(*this)) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const ATOM windowClass = [instance] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = windowClassName;
        return RegisterClassExW(&windowClass);
    }();
    (void)windowClass;

    CreateWindowExW(windowExtendedStyle, windowClassName, L"", windowStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    toolkit_->hwnd = hwnd_;
    toolkit_->setDpi(windowDpi(hwnd_));
    form_ = std::make_unique<Form1>(*toolkit_);
    DragAcceptFiles(hwnd_, TRUE);
    toolkit_->applyFonts();
    SetFocus(toolkit_->control(Control::List));
}

Win32Window::~Win32Window() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
    }
    form_.reset();
}

HWND Win32Window::statusBar() const {
    return toolkit_->statusBar;
}

HWND Win32Window::progressBar() const {
    return toolkit_->progressBar;
}

HWND Win32Window::documentTip() const {
    return toolkit_->tooltip;
}

PictureList& Win32Window::list() {
    return *toolkit_->pictures;
}

bool Win32Window::takeMessage(MSG& message) {
    if (takeKey(message, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0)) {
        return true;
    }
    return hwnd_ && IsDialogMessageW(hwnd_, &message);
}

bool Win32Window::takeKey(const MSG& message, bool ctrl, bool shift) {
    if (!hwnd_ || !form_ || message.message != WM_KEYDOWN ||
        (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) {
        return false;
    }
    const std::optional<Key> key = windowKey(message.wParam);
    if (!key) {
        return false;
    }
    if (*key == Key::Escape && list().dragging()) {
        list().cancelDrag();
        return true;
    }
    if (*key == Key::Delete && message.hwnd != list().hwnd()) {
        return false;
    }
    return form_->Form_KeyDown(*key, ctrl, shift);
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* window =
            static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Messages sent while the window is being made come before its design.
    if (!window || !window->form_) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return window->handle(message, wParam, lParam);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            form_->Form_Resize();
            return 0;
        case WM_COMMAND: {
            const int index = LOWORD(wParam) - firstControlId;
            if (HIWORD(wParam) == BN_CLICKED && index >= 0 && index < controlCount) {
                form_->controlClicked(static_cast<Control>(index));
                return 0;
            }
            break;
        }
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == list().hwnd()) {
                contextMenu(lParam);
                return 0;
            }
            break;
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_DRAWITEM:
            if (wParam == static_cast<WPARAM>(firstControlId + static_cast<int>(Control::List))) {
                list().drawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_GETMINMAXINFO:
            minimumSize(*reinterpret_cast<MINMAXINFO*>(lParam));
            return 0;
        case PictureList::scrolledMessage:
            list().scrolledNotice();
            return 0;
        case thumbnailsMessage:
            toolkit_->thumbnailsPosted = false;
            form_->thumbnailsReady();
            return 0;
        case WM_NOTIFY:
            notified(*reinterpret_cast<const NMMOUSE*>(lParam));
            break;
        case WM_CTLCOLORSTATIC:
            return toolkit_->labelColors(reinterpret_cast<HDC>(wParam),
                                         reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED:
            rescale(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATE:
            restoreFocus(wParam);
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DESTROY:
            form_->Form_Unload();
            return 0;
        case WM_NCDESTROY:
            forget();
            return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Window::notified(const NMMOUSE& notice) {
    if (notice.hdr.hwndFrom == toolkit_->statusBar && notice.hdr.code == NM_DBLCLK) {
        form_->StatusBar_DblClick(static_cast<std::int32_t>(notice.dwItemSpec));
    } else if (notice.hdr.code == BCN_DROPDOWN) {
        form_->Command2_DropDown();
    }
}

void Win32Window::contextMenu(LPARAM screenPoint) {
    const HWND listWindow = list().hwnd();
    const POINT point{static_cast<short>(LOWORD(screenPoint)),
                      static_cast<short>(HIWORD(screenPoint))};
    if (point.x == -1 && point.y == -1) {
        // From the keyboard (Shift+F10, the menu key): the selection's
        // menu, at the current row, or the list's corner.
        RECT place{};
        const auto caret = SendMessageW(listWindow, LB_GETCARETINDEX, 0, 0);
        if (caret == LB_ERR || SendMessageW(listWindow, LB_GETITEMRECT, static_cast<WPARAM>(caret),
                                            reinterpret_cast<LPARAM>(&place)) == LB_ERR) {
            place = {};
        }
        POINT corner{place.left, place.bottom};
        ClientToScreen(listWindow, &corner);
        toolkit_->menuPoint = corner;
        form_->List_ContextMenu(-1);
        toolkit_->menuPoint.reset();
        return;
    }
    POINT inList = point;
    ScreenToClient(listWindow, &inList);
    const int row = list().rowAt(inList);
    form_->List_ContextMenu(row < list().rowCount() ? row : -1);
}

void Win32Window::dropped(HDROP drop) {
    const std::vector<std::string> paths = toolkit_->droppedPaths(drop);
    POINT point{};
    const bool inClient = DragQueryPoint(drop, &point) != FALSE;
    DragFinish(drop);
    if (inClient) {
        MapWindowPoints(hwnd_, list().hwnd(), &point, 1);
        if (const int row = list().rowAt(point); row >= 0) {
            // On a row, or below the last: the pictures go there.
            form_->Form_DragDrop(paths, row);
            return;
        }
    }
    form_->Form_DragDrop(paths);
}

void Win32Window::minimumSize(MINMAXINFO& limits) const {
    if (!toolkit_->leastClient) {
        return;
    }
    RECT frame{0, 0, toolkit_->leastClient->width, toolkit_->leastClient->height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    limits.ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
}

void Win32Window::rescale(int dpi, const RECT& suggested) {
    // Moved to a screen of another scale: the design again at the new
    // resolution, in the rectangle Windows suggests.
    toolkit_->setDpi(dpi != 0 ? dpi : windowDpi(hwnd_));
    toolkit_->applyFonts();
    form_->placeControls();
    const RECT& r = suggested;
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::forget() {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    toolkit_->hwnd = nullptr;
    if (quitWhenClosed_) {
        PostQuitMessage(0);
    }
}

void Win32Window::restoreFocus(WPARAM activation) {
    // As a dialog does: the control that had the focus gets it back, the
    // list the first time.
    if (LOWORD(activation) == WA_INACTIVE) {
        focused_ = GetFocus();
    } else {
        SetFocus(focused_ && IsChild(hwnd_, focused_) ? focused_
                                                      : toolkit_->control(Control::List));
    }
}

void Win32Window::close() {
    if (form_->Form_QueryUnload()) {
        DestroyWindow(hwnd_);
    } else {
        ShowWindow(hwnd_, SW_HIDE);
    }
}

}  // namespace folder2pdf
