#include "ui/shared/StatusProgress.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/Checked.h"
#include "ui/shared/WindowToolkit.h"

namespace folder2pdf::StatusProgress {

namespace {

// The module's state: one status bar per program, drawn by the window that
// created it; null before createStatusBar() and after destroyStatusBar().
WindowToolkit* statusWindow = nullptr;
PartLayoutTable partLayout{};
int partsDpi = 0;  // the resolution the parts were last laid out for
std::int32_t lastPart = 0;
Rect lastPartRect;

}  // namespace

std::array<std::int32_t, 4> partRightEdges(const PartLayoutTable& table, int dpi) {
    std::array<std::int32_t, 4> edges{};
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
        sum = checkedAdd(sum, twipsToPixels(pixelsToTwips(table[i][0], 96), dpi));
        edges[i] = sum;
    }
    edges.back() = -1;
    return edges;
}

Rect partPlace(const std::array<std::int32_t, 4>& rightEdges, std::int32_t part, Size bar) {
    // A thin line is left between the bar and what lies above it.
    constexpr std::int32_t partTop = 2;
    const std::int32_t left = part == 0 ? 0 : rightEdges[static_cast<std::size_t>(part - 1)];
    const std::int32_t edge = rightEdges[static_cast<std::size_t>(part)];
    return {left, partTop, std::max(edge == -1 ? bar.width : edge, left), bar.height};
}

void createStatusBar(WindowToolkit& window, const PartLayoutTable& table) {
    const std::array<std::int32_t, 4> rightEdges = partRightEdges(table, window.dpi());
    partLayout = table;
    lastPart = static_cast<std::int32_t>(table.size()) - 1;
    window.createStatusBar();
    window.setStatusParts(rightEdges);
    partsDpi = window.dpi();
    statusWindow = &window;
    for (std::int32_t part = 0; part <= lastPart; ++part) {
        window.setPartText(part, "", partLayout[static_cast<std::size_t>(part)][1]);
    }
    window.createProgressBar();
}

void setStatusText(std::int32_t part, const std::string& text) {
    if (statusWindow == nullptr || part < 0 || part > lastPart) {
        throw std::out_of_range("subscript out of range: status bar part " + std::to_string(part));
    }
    statusWindow->setPartText(part, text, partLayout[static_cast<std::size_t>(part)][1]);
}

void resizeStatusBar() {
    if (statusWindow == nullptr) {
        return;
    }
    if (statusWindow->dpi() != partsDpi) {
        partsDpi = statusWindow->dpi();
        statusWindow->setStatusParts(partRightEdges(partLayout, partsDpi));
    }
    lastPartRect = statusWindow->fitStatusBar(lastPart);
    const Rect& r = lastPartRect;
    const std::int32_t width = checkedInt32(std::int64_t{r.right} - r.left - 2);
    // The bottom coordinate less 3, not the height less 3: the bar's lower
    // edge lies at top + bottom - 3.
    const std::int32_t height = checkedInt32(std::int64_t{r.bottom} - 3);
    statusWindow->moveProgressBar({r.left, r.top, r.left + width, r.top + height});
}

void destroyStatusBar() {
    if (statusWindow == nullptr) {
        return;
    }
    // The progress bar first: it is the status bar's child.
    statusWindow->destroyProgressBar();
    statusWindow->destroyStatusBar();
    statusWindow = nullptr;
}

void setProgressRange(std::int32_t low, std::int32_t high) {
    if (statusWindow != nullptr) {
        statusWindow->setProgressRange(low, high);
    }
}

void setProgressPos(std::int32_t pos) {
    if (statusWindow != nullptr) {
        statusWindow->setProgressPos(pos);
    }
}

}  // namespace folder2pdf::StatusProgress
