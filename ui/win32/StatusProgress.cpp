#include "ui/win32/StatusProgress.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "common/Checked.h"
#include "common/Error.h"

namespace folder2pdf::StatusProgress {

namespace {

// The module's state: one status bar per program.
HWND hStatusBar = nullptr;
HWND hProgressBar = nullptr;
PartLayoutTable partLayout{};
std::int32_t lastPart = 0;
RECT lastPartRect{};

// The part index goes in the low byte of wParam, the style flags above it.
WPARAM partAndStyle(std::int32_t part) {
    return static_cast<WPARAM>(part | partLayout[static_cast<std::size_t>(part)][1]);
}

}  // namespace

void createStatusBar(HWND parent, const PartLayoutTable& table) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    hStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                 parent, nullptr, instance, nullptr);
    partLayout = table;
    lastPart = static_cast<std::int32_t>(table.size()) - 1;

    std::array<std::int32_t, 4> rightEdges = partRightEdges(table);
    static_assert(sizeof(int) == sizeof(std::int32_t));
    SendMessageW(hStatusBar, SB_SETPARTS, static_cast<WPARAM>(lastPart + 1),
                 reinterpret_cast<LPARAM>(rightEdges.data()));
    for (std::int32_t part = 0; part <= lastPart; ++part) {
        SendMessageW(hStatusBar, SB_SETTEXTW, partAndStyle(part), reinterpret_cast<LPARAM>(L""));
    }

    // Born in the window and then moved into the bar, where (0, 0) and
    // 100 x 10 count from the bar's corner until the first refit.
    hProgressBar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                   0, 0, 100, 10, parent, nullptr, instance, nullptr);
    SetParent(hProgressBar, hStatusBar);
    // Visual styles draw the bar in the theme's colours and ignore these;
    // the classic look shows them.
    SendMessageW(hProgressBar, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(RGB(255, 255, 255)));
    SendMessageW(hProgressBar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(255, 0, 0)));
}

void setStatusText(std::int32_t part, std::wstring_view text) {
    if (!hStatusBar || part < 0 || part > lastPart) {
        throw Error(ErrorKind::SubscriptOutOfRange,
                    "subscript out of range: status bar part " + std::to_string(part));
    }
    const std::wstring terminated(text);
    SendMessageW(hStatusBar, SB_SETTEXTW, partAndStyle(part),
                 reinterpret_cast<LPARAM>(terminated.c_str()));
}

void resizeStatusBar() {
    if (!hStatusBar) {
        return;
    }
    // The bar doesn't take this rectangle: it refits itself along the
    // bottom edge of its parent, at the parent's width and its own height.
    MoveWindow(hStatusBar, 0, 0, 0, 0, TRUE);
    SendMessageW(hStatusBar, SB_GETRECT, static_cast<WPARAM>(lastPart),
                 reinterpret_cast<LPARAM>(&lastPartRect));
    const RECT& r = lastPartRect;
    const std::int32_t width = checkedInt32(std::int64_t{r.right} - r.left - 2);
    // The bottom coordinate less 3, not the height less 3: the bar's lower
    // edge lies at top + bottom - 3.
    const std::int32_t height = checkedInt32(std::int64_t{r.bottom} - 3);
    MoveWindow(hProgressBar, r.left, r.top, width, height, TRUE);
}

void destroyStatusBar() {
    // The progress bar first: it is the status bar's child.
    if (hProgressBar) {
        DestroyWindow(hProgressBar);
        hProgressBar = nullptr;
    }
    if (hStatusBar) {
        DestroyWindow(hStatusBar);
        hStatusBar = nullptr;
    }
}

void setProgressRange(std::int32_t low, std::int32_t high) {
    SendMessageW(hProgressBar, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void setProgressPos(std::int32_t pos) {
    SendMessageW(hProgressBar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

HWND statusBar() {
    return hStatusBar;
}

HWND progressBar() {
    return hProgressBar;
}

}  // namespace folder2pdf::StatusProgress
