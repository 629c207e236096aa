#include "ui/win32/PictureList.h"

#include <commctrl.h>

#include <algorithm>

#include "common/SystemWindows.h"

namespace folder2pdf {

namespace {

// Room around a thumbnail's square, and between it and the name.
constexpr int thumbnailMargin = 2;
constexpr int nameGap = 6;

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(window, message, wParam, lParam);
}

Size clientOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

}  // namespace

PictureList::PictureList(HWND parent, int id, Events events)
    : parent_(parent), id_(id), events_(std::move(events)) {
    make(false, nullptr, RECT{}, {});
}

void PictureList::make(bool ownerDrawn, HFONT font, const RECT& place,
                       const std::vector<std::wstring>& rows) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY |
                        LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL |
                        (ownerDrawn ? LBS_OWNERDRAWFIXED | LBS_HASSTRINGS : 0);
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, place.left, place.top,
                            place.right - place.left, place.bottom - place.top, parent_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                            GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(list_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    systemProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc)));
    if (font) {
        send(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (ownerDrawn) {
        send(list_, LB_SETITEMHEIGHT, 0, rowHeight());
    }
    send(list_, WM_SETREDRAW, FALSE);
    send(list_, LB_INITSTORAGE, rows.size(), static_cast<LPARAM>(rows.size() * 64));
    for (const std::wstring& row : rows) {
        send(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    send(list_, WM_SETREDRAW, TRUE);
}

void PictureList::setMode(ListMode mode, std::int32_t side) {
    if (mode == mode_ && (mode == ListMode::Names || side == side_)) {
        return;
    }
    mode_ = mode;
    side_ = side;
    thumbnails_.clear();
    std::vector<std::wstring> rows;
    for (int row = 0; row < rowCount(); ++row) {
        rows.push_back(rowText(row));
    }
    const std::vector<int> selected = selectedRows();
    const auto caret = send(list_, LB_GETCARETINDEX);
    const auto top = send(list_, LB_GETTOPINDEX);
    const auto font = reinterpret_cast<HFONT>(send(list_, WM_GETFONT));
    RECT place{};
    GetWindowRect(list_, &place);
    MapWindowPoints(HWND_DESKTOP, parent_, reinterpret_cast<POINT*>(&place), 2);
    const bool focused = GetFocus() == list_;
    // The new list takes the old one's place in the tab order.
    const HWND before = GetWindow(list_, GW_HWNDPREV);
    const HWND old = list_;
    make(mode == ListMode::Thumbnails, font, place, rows);
    DestroyWindow(old);
    SetWindowPos(list_, before ? before : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (const int row : selected) {
        send(list_, LB_SETSEL, TRUE, row);
    }
    if (caret != LB_ERR) {
        send(list_, LB_SETCARETINDEX, static_cast<WPARAM>(caret), TRUE);
    }
    send(list_, LB_SETTOPINDEX, static_cast<WPARAM>(top));
    if (focused) {
        SetFocus(list_);
    }
    lastView_ = {-1, -1};
    events_.remade(old, list_);
}

int PictureList::rowHeight() const {
    TEXTMETRICW metrics{};
    if (const HDC dc = GetDC(list_)) {
        const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(send(list_, WM_GETFONT)));
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, previous);
        ReleaseDC(list_, dc);
    }
    return std::max<int>(side_ + 2 * thumbnailMargin, metrics.tmHeight + 2);
}

void PictureList::clear() {
    send(list_, LB_RESETCONTENT);
    thumbnails_.clear();
}

void PictureList::addRows(const std::vector<std::string>& texts) {
    // Drawn once at the end, with the room reserved at once: a folder of
    // thousands of pictures would otherwise take seconds to list.
    send(list_, WM_SETREDRAW, FALSE);
    send(list_, LB_INITSTORAGE, texts.size(), static_cast<LPARAM>(texts.size() * 64));
    for (const std::string& text : texts) {
        send(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf16(text).c_str()));
    }
    send(list_, WM_SETREDRAW, TRUE);
    InvalidateRect(list_, nullptr, TRUE);
}

void PictureList::setRow(int row, const std::string& text) {
    const bool selected = send(list_, LB_GETSEL, static_cast<WPARAM>(row)) > 0;
    const auto caret = send(list_, LB_GETCARETINDEX);
    const auto top = send(list_, LB_GETTOPINDEX);
    send(list_, LB_DELETESTRING, static_cast<WPARAM>(row));
    send(list_, LB_INSERTSTRING, static_cast<WPARAM>(row),
         reinterpret_cast<LPARAM>(utf16(text).c_str()));
    if (selected) {
        send(list_, LB_SETSEL, TRUE, row);
    }
    if (caret != LB_ERR) {
        send(list_, LB_SETCARETINDEX, static_cast<WPARAM>(caret), TRUE);
    }
    send(list_, LB_SETTOPINDEX, static_cast<WPARAM>(top));
}

int PictureList::rowCount() const {
    return static_cast<int>(send(list_, LB_GETCOUNT));
}

std::wstring PictureList::rowText(int row) const {
    const auto length = send(list_, LB_GETTEXTLEN, static_cast<WPARAM>(row));
    if (length == LB_ERR) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(
        0, send(list_, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data())))));
    return text;
}

std::vector<int> PictureList::selectedRows() const {
    const auto count = send(list_, LB_GETSELCOUNT);
    if (count <= 0) {
        return {};
    }
    std::vector<int> rows(static_cast<std::size_t>(count));
    static_assert(sizeof(int) == sizeof(INT));
    const auto got = send(list_, LB_GETSELITEMS, static_cast<WPARAM>(count),
                          reinterpret_cast<LPARAM>(rows.data()));
    rows.resize(static_cast<std::size_t>(std::max<LRESULT>(0, got)));
    return rows;
}

void PictureList::selectRows(const std::vector<int>& rows) {
    send(list_, LB_SETSEL, FALSE, -1);
    for (const int row : rows) {
        send(list_, LB_SETSEL, TRUE, row);
    }
    if (!rows.empty()) {
        send(list_, LB_SETANCHORINDEX, static_cast<WPARAM>(rows.front()));
        send(list_, LB_SETCARETINDEX, static_cast<WPARAM>(rows.front()), FALSE);
    }
}

std::pair<int, int> PictureList::visibleRows() const {
    const int count = rowCount();
    const int top = static_cast<int>(send(list_, LB_GETTOPINDEX));
    const int height = std::max<int>(1, static_cast<int>(send(list_, LB_GETITEMHEIGHT, 0)));
    const int first = std::clamp(top, 0, count);
    return {first, std::min(count, first + (clientOf(list_).height + height - 1) / height)};
}

void PictureList::setThumbnail(int row, const Thumbnail* thumbnail) {
    // Rows far out of view give their pixels up: a folder of thousands
    // scrolled through keeps a few screens' worth.
    const auto [first, end] = visibleRows();
    const int span = std::max(1, end - first);
    for (auto kept = thumbnails_.begin(); kept != thumbnails_.end();) {
        kept = kept->first < first - span || kept->first >= end + span ? thumbnails_.erase(kept)
                                                                       : std::next(kept);
    }
    thumbnails_.erase(row);
    if (thumbnail && thumbnail->width > 0 && thumbnail->height > 0 &&
        thumbnail->width <= side_ && thumbnail->height <= side_ &&
        (thumbnail->channels == 1 || thumbnail->channels == 3) &&
        thumbnail->pixels.size() == static_cast<std::size_t>(thumbnail->width) *
                                        static_cast<std::size_t>(thumbnail->height) *
                                        static_cast<std::size_t>(thumbnail->channels)) {
        Pixels& pixels = thumbnails_[row];
        pixels.width = thumbnail->width;
        pixels.height = thumbnail->height;
        pixels.bgra.resize(pixels.width * static_cast<std::size_t>(pixels.height));
        const std::uint8_t* from = thumbnail->pixels.data();
        for (std::uint32_t& to : pixels.bgra) {
            const std::uint32_t red = from[0];
            const std::uint32_t green = thumbnail->channels == 3 ? from[1] : red;
            const std::uint32_t blue = thumbnail->channels == 3 ? from[2] : red;
            to = 0xFF000000u | red << 16 | green << 8 | blue;
            from += thumbnail->channels;
        }
    }
    RECT place{};
    if (send(list_, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place)) !=
        LB_ERR) {
        InvalidateRect(list_, &place, FALSE);
    }
}

void PictureList::drawRow(const DRAWITEMSTRUCT& item) const {
    if (item.itemID == static_cast<UINT>(-1)) {
        return;
    }
    const int row = static_cast<int>(item.itemID);
    const HDC dc = item.hDC;
    const RECT& place = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &place, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int left = place.left + thumbnailMargin;
    const int top = place.top + (place.bottom - place.top - side_) / 2;
    if (const auto found = thumbnails_.find(row); found != thumbnails_.end()) {
        const Pixels& pixels = found->second;
        BITMAPINFO header{};
        header.bmiHeader.biSize = sizeof header.bmiHeader;
        header.bmiHeader.biWidth = pixels.width;
        header.bmiHeader.biHeight = -pixels.height;  // rows from the top
        header.bmiHeader.biPlanes = 1;
        header.bmiHeader.biBitCount = 32;
        header.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, left + (side_ - pixels.width) / 2, top + (side_ - pixels.height) / 2,
                          static_cast<DWORD>(pixels.width), static_cast<DWORD>(pixels.height), 0,
                          0, 0, static_cast<UINT>(pixels.height), pixels.bgra.data(), &header,
                          DIB_RGB_COLORS);
    } else {
        const RECT square{left, top, left + side_, top + side_};
        FrameRect(dc, &square, GetSysColorBrush(COLOR_BTNFACE));
    }
    const std::wstring text = rowText(row);
    RECT name{left + side_ + nameGap, place.top, place.right - thumbnailMargin, place.bottom};
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(send(list_, WM_GETFONT)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &name,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, previous);
    if (item.itemState & ODS_FOCUS) {
        DrawFocusRect(dc, &place);
    }
}

int PictureList::rowAt(POINT point) const {
    const Size client = clientOf(list_);
    if (point.x < 0 || point.y < 0 || point.x >= client.width || point.y >= client.height) {
        return -1;
    }
    const int height = std::max<int>(1, static_cast<int>(send(list_, LB_GETITEMHEIGHT, 0)));
    const int row = static_cast<int>(send(list_, LB_GETTOPINDEX)) + point.y / height;
    return std::min(row, rowCount());
}

int PictureList::insertionAt(POINT point) const {
    const int height = std::max<int>(1, static_cast<int>(send(list_, LB_GETITEMHEIGHT, 0)));
    const int y = std::clamp<int>(point.y, 0, clientOf(list_).height);
    const int row = static_cast<int>(send(list_, LB_GETTOPINDEX)) + (y + height / 2) / height;
    return std::clamp(row, 0, rowCount());
}

void PictureList::cancelDrag() {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    if (GetCapture() == list_) {
        ReleaseCapture();
    }
    invalidateLine(insertion_);
    insertion_ = -1;
}

void PictureList::dropDragged(int row) {
    cancelDrag();
    events_.dragged(row);
}

LRESULT CALLBACK PictureList::listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PictureList*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (self->list_ != list) {
        // The list being replaced, in its last messages.
        return CallWindowProcW(self->systemProc_, list, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT PictureList::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
        case WM_LBUTTONDOWN:
            if (!dragging_ && pressOnSelection(wParam, lParam)) {
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (dragging_) {
                track(point);
                return 0;
            }
            break;
        case WM_LBUTTONUP:
            if (dragging_) {
                const Size client = clientOf(list_);
                // Let go beside the list: no move.
                if (point.x >= 0 && point.x < client.width) {
                    dropDragged(insertionAt(point));
                } else {
                    cancelDrag();
                }
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            if (dragging_ && reinterpret_cast<HWND>(lParam) != list_) {
                cancelDrag();
            }
            break;
        case WM_PAINT: {
            const LRESULT painted = CallWindowProcW(systemProc_, list_, message, wParam, lParam);
            if (dragging_) {
                const HDC dc = GetDC(list_);
                drawLine(dc);
                ReleaseDC(list_, dc);
            }
            return painted;
        }
        default:
            break;
    }
    const LRESULT result = CallWindowProcW(systemProc_, list_, message, wParam, lParam);
    checkScrolled();
    return result;
}

bool PictureList::pressOnSelection(WPARAM keys, LPARAM lParam) {
    // A press on a selected row may start a drag of the whole selection;
    // the system's list would first select that row alone.
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const int row = rowAt(point);
    if ((keys & (MK_SHIFT | MK_CONTROL)) != 0 || row < 0 || row >= rowCount() ||
        send(list_, LB_GETSEL, static_cast<WPARAM>(row)) <= 0) {
        return false;
    }
    SetFocus(list_);
    POINT screen = point;
    ClientToScreen(list_, &screen);
    if (!DragDetect(list_, screen)) {
        // A click after all: DragDetect took the button's release.
        CallWindowProcW(systemProc_, list_, WM_LBUTTONDOWN, keys, lParam);
        CallWindowProcW(systemProc_, list_, WM_LBUTTONUP, 0, lParam);
        return true;
    }
    dragging_ = true;
    SetCapture(list_);
    insertion_ = insertionAt(point);
    invalidateLine(insertion_);
    return true;
}

void PictureList::track(POINT point) {
    const Size client = clientOf(list_);
    const auto top = send(list_, LB_GETTOPINDEX);
    if (point.y < 0 || point.y >= client.height) {
        // Above or below the list: it scrolls towards the pointer.
        POINT screen = point;
        ClientToScreen(list_, &screen);
        LBItemFromPt(list_, screen, TRUE);
    }
    const int now = insertionAt(point);
    if (send(list_, LB_GETTOPINDEX) != top) {
        insertion_ = now;
        InvalidateRect(list_, nullptr, FALSE);
    } else if (now != insertion_) {
        invalidateLine(insertion_);
        insertion_ = now;
        invalidateLine(insertion_);
    }
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
    UpdateWindow(list_);
}

// The top of row `insertion` in the list's client area.
int PictureList::lineY(int insertion) const {
    const int height = static_cast<int>(send(list_, LB_GETITEMHEIGHT, 0));
    return (insertion - static_cast<int>(send(list_, LB_GETTOPINDEX))) * height;
}

void PictureList::invalidateLine(int insertion) const {
    if (insertion < 0) {
        return;
    }
    const int y = lineY(insertion);
    const RECT strip{0, y - 2, clientOf(list_).width, y + 2};
    InvalidateRect(list_, &strip, TRUE);
}

void PictureList::drawLine(HDC dc) const {
    if (insertion_ < 0) {
        return;
    }
    const int y = lineY(insertion_);
    const RECT line{0, y - 1, clientOf(list_).width, y + 1};
    FillRect(dc, &line, GetSysColorBrush(COLOR_WINDOWTEXT));
}

void PictureList::scrolledNotice() {
    const std::pair<int, int> view = visibleRows();
    if (view != lastView_) {
        lastView_ = view;
        events_.scrolled();
    }
    checking_ = false;
}

void PictureList::checkScrolled() {
    if (mode_ != ListMode::Thumbnails || checking_) {
        return;
    }
    checking_ = true;
    if (visibleRows() != lastView_) {
        PostMessageW(parent_, scrolledMessage, static_cast<WPARAM>(id_), 0);
    } else {
        checking_ = false;
    }
}

}  // namespace folder2pdf
