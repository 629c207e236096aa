#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/Thumbnail.h"
#include "ui/shared/WindowDesign.h"

namespace folder2pdf {

// What the window's design needs drawn, and nothing more: one implementation
// per toolkit (Qt on Linux, the common controls on Windows, a fake in the
// tests). Form1 decides every place, text and step; the toolkit only makes
// and moves its controls, shows texts and boxes and runs the event loop.
// Texts are UTF-8; places are pixels in the parent's client area.
//
// The toolkit forwards its window's events to Form1 (the buttons' clicks,
// resizes, the user closing the window, the keys of Form1::Form_KeyDown,
// a right-click, a drag or a scroll in the list, files dropped on the
// window or the list, a double-click on the status bar); Form1 calls back
// only through this interface.
enum class ListMode { Names, Thumbnails };

class WindowToolkit {
  public:
    virtual ~WindowToolkit() = default;

    // Pixels per inch of the window's screen, by which twips become pixels.
    virtual int dpi() const = 0;
    // The window's client area, in pixels.
    virtual Size clientSize() const = 0;
    // Sets the client area's size (the first layout follows as a resize).
    virtual void setClientSize(Size size) = 0;

    // Makes the control as designed (kind, caption, font, color), not yet
    // placed; controls are made in their tab order.
    virtual void createControl(const ControlDesign& design) = 0;
    virtual void moveControl(Control control, const Rect& place) = 0;
    // The window's caption, or a label's (UTF-16, as the captions are kept).
    virtual void setCaption(Caption which, const std::u16string& text) = 0;

    // The list's rows. setRow() and selectRows() are given rows that exist.
    virtual void clearRows() = 0;
    // Appends rows, as many as a folder holds, at once.
    virtual void addRows(const std::vector<std::string>& texts) = 0;
    virtual void setRow(int row, const std::string& text) = 0;
    virtual int rowCount() const = 0;
    // The list's rows may be selected several at once (Shift, Ctrl and the
    // mouse): the selected rows ascending, and the rows to select (the
    // first made the current row and scrolled into view; others unselected).
    virtual std::vector<int> selectedRows() const = 0;
    virtual void selectRows(const std::vector<int>& rows) = 0;

    // The status bar along the bottom edge, then its parts, ending at
    // `rightEdges` (the last, -1, at the bar's right end).
    virtual void createStatusBar() = 0;
    virtual void setStatusParts(const std::array<std::int32_t, 4>& rightEdges) = 0;
    // `style` is the part's border style from the part layout table.
    virtual void setPartText(std::int32_t part, const std::string& text, std::int32_t style) = 0;
    // Refits the bar along the bottom edge of the window, at its full width
    // and the bar's own height, and returns part `part`'s rectangle in the
    // bar's coordinates (right and bottom just outside the part).
    virtual Rect fitStatusBar(std::int32_t part) = 0;
    virtual void destroyStatusBar() = 0;

    // The progress bar, made in the status bar at (0, 0), 100 x 10, with a
    // white background and a red bar (where the toolkit's look allows).
    virtual void createProgressBar() = 0;
    virtual void moveProgressBar(const Rect& place) = 0;
    virtual void setProgressRange(std::int32_t low, std::int32_t high) = 0;
    virtual void setProgressPos(std::int32_t position) = 0;
    virtual void destroyProgressBar() = 0;

    // A modal folder chooser titled `title`, opened at `startFolder`: the
    // chosen folder's path, or "" when the user cancels.
    virtual std::string chooseFolder(const std::string& title, const std::string& startFolder) = 0;
    // A modal "save as" chooser for a PDF document titled `title`, opened
    // at `startPath`: the path chosen, or "" when the user cancels.
    virtual std::string chooseDocument(const std::string& title, const std::string& startPath) = 0;
    // What the window remembers for this user from run to run (the folder
    // opened last, the document's paper and compression): "" when nothing is.
    virtual std::string setting(const char* key) const = 0;
    virtual void setSetting(const char* key, const std::string& value) = 0;
    // The status bar message part's tooltip: the path of the document a run
    // wrote, "" for none.
    virtual void setDocumentTip(const std::string& path) = 0;
    // Opens the document with the system's viewer for PDF documents.
    virtual void openDocument(const std::string& path) = 0;

    // A pop-up menu of `items` at the mouse (`underControl` null) or below a
    // control; the index of the item chosen, or -1.
    virtual int showMenu(const std::vector<MenuItem>& items, const Control* underControl) = 0;

    // The list as names, or as thumbnails of `thumbnailSide` pixels (a
    // square) beside the names. Rows keep their texts and the selection.
    virtual void setListMode(ListMode mode, std::int32_t thumbnailSide) = 0;
    // The rows in view, [first, end): whose thumbnails are made first.
    virtual std::pair<int, int> visibleRows() const = 0;
    // Row `row`'s thumbnail (gray or RGB, at most the side given, centred
    // in it), or a blank square for null: not ready yet, or failed.
    virtual void setRowThumbnail(int row, const Thumbnail* thumbnail) = 0;
    // Called on any thread: asks for Form1::thumbnailsReady() on the
    // window's thread soon (several asks may come as one call).
    virtual void postThumbnailsReady() = 0;

    // A modal file chooser for pictures, several at once, titled `title`,
    // opened at `startFolder`, offering the files `patterns` match
    // ("*.jpg" ...): the paths chosen, none when the user cancels.
    virtual std::vector<std::string> choosePictures(const std::string& title,
                                                    const std::string& startFolder,
                                                    const std::vector<std::string>& patterns) = 0;
    // A modal box asking for a line of text, with `prompt` and `initial` in
    // its field: the text given, or nothing when cancelled.
    virtual std::optional<std::string> askText(const std::string& prompt,
                                               const std::string& initial) = 0;
    // The user's Pictures folder, "" where the system has none.
    virtual std::string picturesFolder() const = 0;
    // The smallest client area the user may size the window to.
    virtual void setMinimumClientSize(Size size) = 0;
    // What a control says when the mouse rests on it (lines broken at
    // '\n'), and what a screen reader calls it.
    virtual void setControlTip(Control control, const std::string& tip) = 0;
    virtual void setAccessibleName(Control control, const std::string& name) = 0;

    // A modal error box over the window.
    virtual void showError(const std::string& text) = 0;
    // A modal box over the window with `text` and two or three buttons,
    // captioned `buttons` in that order: the index of the one pressed, or
    // -1 when the box was closed otherwise.
    virtual int askChoice(const std::string& text, const std::vector<std::string>& buttons) = 0;
    // 生成's caption: its own, or stopCaption during a run.
    virtual void setGenerateCaption(const std::string& text) = 0;
    // Processes every event waiting now, then returns.
    virtual void runPendingEvents() = 0;
    // Closes the window for good once the command it was closed during has
    // returned; Form1 has unloaded itself by then.
    virtual void closeWindow() = 0;
};

}  // namespace folder2pdf
