#include "ui/win32/Form1.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "common/Error.h"
#include "job/PagePipeline.h"
#include "ui/shared/ErrorText.h"
#include "ui/shared/WindowTexts.h"
#include "ui/win32/BrowseDirectorysOnly.h"
#include "ui/win32/StatusProgress.h"
#include "ui/win32/WideText.h"

namespace folder2pdf {

namespace {

constexpr wchar_t windowClassName[] = L"folder2pdf.Form1";

constexpr int twipsPerInch = 1440;
constexpr int clientWidthTwips = 6120;
constexpr int clientHeightTwips = 3240;
constexpr int listTopTwips = 700;
constexpr int listHeightLessTwips = 1000;

// Where each control sits as designed, in twips. The list keeps its place
// only until the first layout.
struct DesignedControl {
    Form1::ControlId id;
    int left, top, width, height;
};
constexpr DesignedControl designedControls[] = {
    {Form1::ListId, 120, 1080, 4695, 1320},   {Form1::Command1Id, 120, 120, 855, 495},
    {Form1::Command2Id, 1200, 120, 855, 495}, {Form1::Command3Id, 4920, 240, 495, 375},
    {Form1::Command4Id, 5520, 240, 495, 375}, {Form1::L1Id, 2400, 80, 2175, 255},
    {Form1::L2Id, 2160, 360, 2655, 255},
};

constexpr COLORREF l1Colour = RGB(192, 64, 0);
constexpr COLORREF l2Colour = RGB(0, 128, 0);

// The design's face: 宋体 with the GB2312 character set, bold.
HFONT songFont(int tenthsOfPoints, int dpi, int weight) {
    return CreateFontW(-MulDiv(tenthsOfPoints, dpi, 720), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

// The folder holding the program's executable, without a closing "\".
std::wstring programFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            const std::wstring file(path.data(), length);
            return file.substr(0, file.find_last_of(L'\\'));
        }
        path.resize(path.size() * 2);
    }
}

// Paths cross between the window and the engine in the engine's form, UTF-8
// with "/" between names, and reach Windows' own dialogs with "\".
std::string enginePath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return narrow(path);
}

std::wstring windowsPath(const std::string& path) {
    std::wstring wide = widen(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

}  // namespace

Form1::Form1() : folderChooser_(BrowseDirectorysOnly::browseFolder) {
    Form_Initialize();
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

    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    constexpr DWORD extendedStyle = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, twipsToPixels(clientWidthTwips), twipsToPixels(clientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    CreateWindowExW(extendedStyle, windowClassName, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                    this);
}

Form1::~Form1() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
    }
    Form_Unload();
    DeleteObject(listFont_);
    DeleteObject(bigFont_);
    DeleteObject(smallFont_);
}

void Form1::setFolderChooser(FolderChooser chooser) {
    folderChooser_ = std::move(chooser);
}

bool Form1::takeDialogMessage(MSG& message) {
    return hwnd_ && IsDialogMessageW(hwnd_, &message);
}

LRESULT CALLBACK Form1::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form->handle(message, wParam, lParam);
}

LRESULT Form1::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls();
            Form_Load();
            return 0;
        case WM_SIZE:
            Form_Resize();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                switch (LOWORD(wParam)) {
                    case Command1Id:
                        Command1_Click();
                        return 0;
                    case Command2Id:
                        Command2_Click();
                        return 0;
                    case Command3Id:
                        Command3_Click();
                        return 0;
                    case Command4Id:
                        Command4_Click();
                        return 0;
                }
            }
            break;
        case WM_CTLCOLORSTATIC: {
            const auto label = reinterpret_cast<HWND>(lParam);
            if (label == L1 || label == L2) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, label == L1 ? l1Colour : l2Colour);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        }
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: the design again at the
            // new DPI, in the rectangle Windows suggests.
            dpi_ = HIWORD(wParam);
            placeControls();
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top,
                         suggested.right - suggested.left, suggested.bottom - suggested.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ACTIVATE:
            // As a dialog does: the control that had the focus gets it back,
            // the list the first time.
            if (LOWORD(wParam) == WA_INACTIVE) {
                focused_ = GetFocus();
            } else {
                SetFocus(focused_ && IsChild(hwnd_, focused_) ? focused_ : List);
            }
            return 0;
        case WM_CLOSE:
            Form_Close();
            return 0;
        case WM_DESTROY:
            Form_Unload();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            if (quitWhenClosed_) {
                PostQuitMessage(0);
            }
            return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form1::Form_Initialize() {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
}

int Form1::twipsToPixels(int twips) const {
    // Edges are converted, not sizes, so that controls designed edge to
    // edge stay edge to edge.
    return MulDiv(twips, dpi_, twipsPerInch);
}

void Form1::createControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // In tab order: the labels take no focus, so the list has it first.
    const auto create = [&](DWORD extendedStyle, const wchar_t* windowClass, const wchar_t* caption,
                            DWORD style, ControlId id) {
        return CreateWindowExW(extendedStyle, windowClass, caption, WS_CHILD | WS_VISIBLE | style,
                               0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               instance, nullptr);
    };
    List = create(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                  WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, ListId);
    constexpr DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    create(0, L"BUTTON", L"打开", button, Command1Id);
    create(0, L"BUTTON", L"生成", button, Command2Id);
    create(0, L"BUTTON", L"↑", button, Command3Id);
    create(0, L"BUTTON", L"↓", button, Command4Id);
    constexpr DWORD label = SS_LEFT | SS_NOPREFIX;
    L1 = create(0, L"STATIC", L"", label, L1Id);
    L2 = create(0, L"STATIC", L"", label, L2Id);
    placeControls();
    SetFocus(List);
}

void Form1::placeControls() {
    const HFONT fonts[] = {listFont_, bigFont_, smallFont_};
    // The list's font is the window's default on the program's home
    // system: 宋体, 9 points.
    listFont_ = songFont(90, dpi_, FW_NORMAL);
    bigFont_ = songFont(105, dpi_, FW_BOLD);
    smallFont_ = songFont(90, dpi_, FW_BOLD);
    for (const DesignedControl& design : designedControls) {
        const int x = twipsToPixels(design.left);
        const int y = twipsToPixels(design.top);
        const HWND child = control(design.id);
        MoveWindow(child, x, y, twipsToPixels(design.left + design.width) - x,
                   twipsToPixels(design.top + design.height) - y, TRUE);
        const HFONT font = design.id == ListId                                  ? listFont_
                           : design.id == Command3Id || design.id == Command4Id ? smallFont_
                                                                                : bigFont_;
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    for (const HFONT font : fonts) {
        DeleteObject(font);
    }
}

void Form1::Form_Load() {
    loadWindow(*this);
}

void Form1::createStatusBar(const PartLayoutTable& table) {
    StatusProgress::createStatusBar(hwnd_, table);
}

void Form1::setStatusText(std::int32_t part, std::u16string_view text) {
    StatusProgress::setStatusText(part, wideView(text));
}

void Form1::createJob() {
    job_ = std::make_unique<FolderJob>(*this, enginePath(programFolder()));
    job_->setWorkers(defaultWorkers());
}

void Form1::setCaption(Caption which, const std::u16string& text) {
    const std::wstring caption(wideView(text));
    switch (which) {
        case Caption::Window:
            SetWindowTextW(hwnd_, caption.c_str());
            break;
        case Caption::L1:
            SetWindowTextW(L1, caption.c_str());
            break;
        case Caption::L2:
            SetWindowTextW(L2, caption.c_str());
            break;
    }
}

void Form1::Form_Resize() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    // The list's bottom edge lies 1000 twips above the client area's, but
    // never above its top edge (a window less than 1000 twips high, or
    // minimised).
    const int top = twipsToPixels(listTopTwips);
    const int heightTwips =
        std::max(0, MulDiv(client.bottom, twipsPerInch, dpi_) - listHeightLessTwips);
    const int bottom = twipsToPixels(listTopTwips + heightTwips);
    MoveWindow(List, 0, top, client.right, bottom - top, TRUE);
    StatusProgress::resizeStatusBar();
}

void Form1::Form_Close() {
    if (commands_.running()) {
        commands_.closeDuringCommand(job_.get());
        ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    DestroyWindow(hwnd_);
}

void Form1::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    StatusProgress::destroyStatusBar();
    job_.reset();
}

void Form1::Command1_Click() {
    runCommand(&FolderJob::openFolder);
}

void Form1::Command2_Click() {
    runCommand(&FolderJob::generate);
}

void Form1::Command3_Click() {
    runCommand(&FolderJob::moveUp);
}

void Form1::Command4_Click() {
    runCommand(&FolderJob::moveDown);
}

void Form1::runCommand(void (FolderJob::*command)()) {
    const auto report = [this](const ErrorText& text) { reportError(text); };
    if (job_ && commands_.run(*job_, command, report) && hwnd_) {
        DestroyWindow(hwnd_);
    }
}

void Form1::reportError(const ErrorText& error) {
    const std::wstring text = widen(boxText(error));
    std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(
        GetWindowTextW(hwnd_, caption.data(), static_cast<int>(caption.size()))));
    MessageBoxW(hwnd_, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

std::string Form1::chooseFolder(const std::string& startFolder) {
    return enginePath(folderChooser_(hwnd_, widen(folderPrompt()), windowsPath(startFolder)));
}

void Form1::clearEntries() {
    SendMessageW(List, LB_RESETCONTENT, 0, 0);
}

void Form1::addEntry(const std::string& text) {
    const std::wstring row = widen(text);
    SendMessageW(List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
}

void Form1::setEntry(int row, const std::string& text) {
    const auto count = static_cast<int>(SendMessageW(List, LB_GETCOUNT, 0, 0));
    if (row < 0 || row >= count) {
        return;
    }
    const std::wstring entry = widen(text);
    SendMessageW(List, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
    SendMessageW(List, LB_INSERTSTRING, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(entry.c_str()));
}

int Form1::selectedEntry() {
    const LRESULT row = SendMessageW(List, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

void Form1::selectEntry(int row) {
    SendMessageW(List, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

void Form1::showMessage(JobMessage message, std::int32_t count) {
    StatusProgress::setStatusText(messagePart, widen(messageText(message, count)));
}

void Form1::showProgressRange(std::int32_t low, std::int32_t high) {
    StatusProgress::setProgressRange(low, high);
}

void Form1::showProgress(std::int32_t position) {
    StatusProgress::setProgressPos(position);
}

void Form1::runPendingEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to take: the thread's own loop must still see it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!takeDialogMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace folder2pdf
