#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "image/Thumbnail.h"
#include "ui/shared/WindowToolkit.h"

namespace folder2pdf {

// The window's list of pictures: a list box of several selectable rows.
// Its names are the system's own list box, drawn by the system; its
// thumbnails the same list box made again owner-drawn, each row a square
// thumbnail with the name beside it, so that both views share every
// message (rows, selection, hit tests) and only the drawing differs.
//
// The user drags the selected rows to another place in the list with the
// mouse: a line shows where they would go, and the drop reports the row
// they go before.
class PictureList {
  public:
    struct Events {
        // The rows in view changed (scrolled, resized, rows added).
        std::function<void()> scrolled;
        // The selected rows were dragged to before row `row` (rowCount: the end).
        std::function<void(int row)> dragged;
        // The list was made anew, as a new window: its tips and names go
        // again. `old`, the list before, is gone.
        std::function<void(HWND old, HWND list)> remade;
    };

    // Posted to the list's parent, with the list's identifier, when the rows
    // in view may have changed: for scrolledNotice(), after the message that
    // scrolled has returned, so that Form1 never hears of it inside its own
    // calls.
    static constexpr UINT scrolledMessage = WM_APP + 2;

    PictureList(HWND parent, int id, Events events);
    PictureList(const PictureList&) = delete;
    PictureList& operator=(const PictureList&) = delete;

    HWND hwnd() const { return list_; }

    void clear();
    void addRows(const std::vector<std::string>& texts);
    // Replaces row `row`'s text, keeping whether it is selected.
    void setRow(int row, const std::string& text);
    int rowCount() const;
    std::vector<int> selectedRows() const;
    // Selects `rows` only, the first made the caret and scrolled into view.
    void selectRows(const std::vector<int>& rows);

    // Names, or thumbnails of `side` pixels beside them: the list is made
    // again with its rows, selection, place, font and focus.
    void setMode(ListMode mode, std::int32_t side);
    std::pair<int, int> visibleRows() const;
    // Keeps the thumbnail's pixels for row `row` (none: a blank square), and
    // lets rows far out of view go.
    void setThumbnail(int row, const Thumbnail* thumbnail);
    bool hasThumbnail(int row) const { return thumbnails_.count(row) > 0; }
    // WM_DRAWITEM for the list's rows in the thumbnails' view.
    void drawRow(const DRAWITEMSTRUCT& item) const;

    // The row at `point` in the list's client area; rowCount below the
    // last row, -1 outside the list.
    int rowAt(POINT point) const;
    // The row before which rows dropped at `point` go.
    int insertionAt(POINT point) const;
    bool dragging() const { return dragging_; }
    void cancelDrag();
    void scrolledNotice();
    // Ends a drag with the selected rows going before `row`: what a drop
    // with the mouse does.
    void dropDragged(int row);

  private:
    struct Pixels {
        std::int32_t width = 0, height = 0;
        std::vector<std::uint32_t> bgra;  // rows from the top
    };

    void make(bool ownerDrawn, HFONT font, const RECT& place, const std::vector<std::wstring>& rows);
    std::wstring rowText(int row) const;
    int rowHeight() const;
    static LRESULT CALLBACK listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool pressOnSelection(WPARAM keys, LPARAM point);
    void track(POINT point);
    int lineY(int insertion) const;
    void invalidateLine(int insertion) const;
    void drawLine(HDC dc) const;
    void checkScrolled();

    HWND parent_;
    int id_;
    Events events_;
    HWND list_ = nullptr;
    WNDPROC systemProc_ = nullptr;
    ListMode mode_ = ListMode::Names;
    std::int32_t side_ = 0;
    std::map<int, Pixels> thumbnails_;
    bool dragging_ = false;
    int insertion_ = -1;
    std::pair<int, int> lastView_{-1, -1};
    bool checking_ = false;
};

}  // namespace folder2pdf
