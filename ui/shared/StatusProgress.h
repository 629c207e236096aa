#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ui/shared/WindowDesign.h"

namespace folder2pdf {

class WindowToolkit;

namespace StatusProgress {

// The status bar along the bottom edge of the main window and the progress
// bar inside it. The bar has four parts: the label "信息：", the message
// field, the label " 进度 " and a last part that runs to the right edge and
// holds the progress bar. There is one status bar per program: these free
// operations work on one module-wide state and draw through the window's
// toolkit.

// Border style of a part, as the part layout table's second column holds
// it; each toolkit draws it its own way.
constexpr std::int32_t sunkenBorder = 0;
constexpr std::int32_t noBorders = 1;

// One row per part: {width in pixels, border style}. The last part's width
// takes no effect: it always runs to the right edge.
using PartLayoutTable = std::array<std::array<std::int32_t, 2>, 4>;

// The window's table: 36, 100 and 38 pixels, then the rest; only the
// message field (part 1) has a sunken border.
constexpr PartLayoutTable windowPartLayout{{
    {36, noBorders},
    {100, sunkenBorder},
    {38, noBorders},
    {-1, noBorders},
}};

// The parts the window writes into, and the two fixed labels.
constexpr std::int32_t infoPart = 0;
constexpr std::int32_t messagePart = 1;
constexpr std::int32_t progressLabelPart = 2;
inline constexpr const char* infoLabel = "信息：";
inline constexpr const char* progressLabel = " 进度 ";

// The right edges the bar is given on a screen of `dpi` pixels an inch:
// running sums of the widths, which the table gives at 96, scaled to the
// screen, the last edge -1 (to the bar's right end) whatever the last width
// says. Throws Error (TooLarge) when a sum leaves 32 bits.
std::array<std::int32_t, 4> partRightEdges(const PartLayoutTable& table, int dpi = 96);

// Part `part`'s rectangle in a bar of `bar` pixels with those right edges,
// as a native status bar lays its parts out, for toolkits that have none:
// from the previous edge to its own (the bar's right end for -1), from 2
// pixels below the bar's top edge to its bottom.
Rect partPlace(const std::array<std::int32_t, 4>& rightEdges, std::int32_t part, Size bar);

// Creates the status bar in `window` with the parts of `table` (copied),
// every part empty with its border style, then the progress bar (white
// background, red bar) at the bar's top left, 100 x 10 pixels, until the
// first resizeStatusBar(). Throws Error (Overflow) if the widths overflow.
void createStatusBar(WindowToolkit& window, const PartLayoutTable& table);

// Writes `text` into part `part` (0 to 3), keeping the part's border style.
// A part that doesn't exist, also before createStatusBar() and after
// destroyStatusBar(), is the caller's mistake: std::out_of_range.
void setStatusText(std::int32_t part, const std::string& text);

// Refits the bar along the bottom edge of the window at its full width (its
// parts scaled anew when the window has moved to a screen of another
// resolution), then moves the progress bar into the last part: at the part's left and
// top, 2 pixels narrower than the part, as high as the part's bottom
// coordinate less 3. Nothing before createStatusBar().
void resizeStatusBar();

// Destroys the progress bar, then the status bar (its parent).
void destroyStatusBar();

// The progress bar's range and position, passed to it unchanged.
void setProgressRange(std::int32_t low, std::int32_t high);
void setProgressPos(std::int32_t pos);

}  // namespace StatusProgress
}  // namespace folder2pdf
