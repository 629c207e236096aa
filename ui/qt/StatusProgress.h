#pragma once

#include <array>
#include <cstdint>

#include "ui/shared/Captions.h"

class QProgressBar;
class QString;
class QWidget;

namespace folder2pdf::StatusProgress {

// The status bar along the bottom edge of the main window and the progress
// bar inside it. The bar has four parts: the label "信息：", the message
// field, the label " 进度 " and a last part that runs to the right edge and
// holds the progress bar. There is one status bar per program: these free
// operations work on one module-wide state, and the window reaches the bar
// only through them.

using folder2pdf::noBorders;
using folder2pdf::PartLayoutTable;
using folder2pdf::sunkenBorder;
using folder2pdf::windowPartLayout;

// Creates the status bar as a child of `parent` with the parts of `table`
// (copied), every part empty, and the progress bar (white background, red
// bar) at the top left of the bar, 100 x 10 pixels, until the first
// resizeStatusBar(). Throws Error (Overflow) if the widths overflow.
void createStatusBar(QWidget* parent, const PartLayoutTable& table);

// Writes `text` into part `part` (0 to 3), keeping the part's border style.
// Throws Error (SubscriptOutOfRange) for a part that doesn't exist, also
// before createStatusBar().
void setStatusText(std::int32_t part, const QString& text);

// Refits the bar along the bottom edge of its parent at the parent's full
// width, then moves the progress bar into the last part: at the part's left
// and top, 2 pixels narrower than the part, as high as the part's bottom
// coordinate less 3.
void resizeStatusBar();

// Destroys the progress bar, then the status bar. Either may be missing.
void destroyStatusBar();

// The progress bar's range and position, passed to it unchanged.
void setProgressRange(std::int32_t low, std::int32_t high);
void setProgressPos(std::int32_t pos);

// The widgets, for tests and tools; null when not created or destroyed.
QWidget* statusBar();
QProgressBar* progressBar();

}  // namespace folder2pdf::StatusProgress
