#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "ui/shared/Captions.h"

namespace folder2pdf::StatusProgress {

// The status bar along the bottom edge of the main window and the progress
// bar inside it, both common controls: a "msctls_statusbar32" of four parts
// (the label "信息：", the message field, the label " 进度 " and a last part
// that runs to the right edge) and a "msctls_progress32" that lives in the
// last part. There is one status bar per program: these free operations
// work on one module-wide state. The common controls must be initialised
// (InitCommonControlsEx) before createStatusBar().

// Creates the status bar as a child of `parent` with the parts of `table`
// (copied), every part empty with its border style, and the progress bar
// (white background, red bar where the classic look is in force) at the top
// left of the bar, 100 x 10 pixels, until the first resizeStatusBar().
// Throws Error (Overflow) if the widths overflow.
void createStatusBar(HWND parent, const PartLayoutTable& table);

// Writes `text` into part `part` (0 to 3), keeping the part's border style.
// Throws Error (SubscriptOutOfRange) for a part that doesn't exist, also
// before createStatusBar().
void setStatusText(std::int32_t part, std::wstring_view text);

// Lets the bar refit itself along the bottom edge of its parent, then moves
// the progress bar into the last part: at the part's left and top, 2 pixels
// narrower than the part, as high as the part's bottom coordinate less 3.
void resizeStatusBar();

// Destroys the progress bar, then the status bar (its parent). Either may be
// missing. The handles are cleared.
void destroyStatusBar();

// The progress bar's range and position, passed to it unchanged.
void setProgressRange(std::int32_t low, std::int32_t high);
void setProgressPos(std::int32_t pos);

// The two windows, for tests and tools; null when not created or destroyed.
HWND statusBar();
HWND progressBar();

}  // namespace folder2pdf::StatusProgress
