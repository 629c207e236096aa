#include "ui/shared/WindowToolkit.h"

namespace folder2pdf {

std::vector<int> WindowToolkit::selectedRows() const {
    const int row = selectedRow();
    return row >= 0 ? std::vector<int>{row} : std::vector<int>{};
}

void WindowToolkit::selectRows(const std::vector<int>& rows) {
    if (!rows.empty()) {
        selectRow(rows.front());
    }
}

void WindowToolkit::setListMode(ListMode, std::int32_t) {}

std::pair<int, int> WindowToolkit::visibleRows() const {
    return {0, rowCount()};
}

void WindowToolkit::setRowThumbnail(int, const Thumbnail*) {}

void WindowToolkit::postThumbnailsReady() {}

std::vector<std::string> WindowToolkit::choosePictures(const std::string&, const std::string&,
                                                       const std::vector<std::string>&) {
    return {};
}

std::optional<std::string> WindowToolkit::askText(const std::string&, const std::string&) {
    return std::nullopt;
}

std::string WindowToolkit::picturesFolder() const {
    return {};
}

void WindowToolkit::setMinimumClientSize(Size) {}

void WindowToolkit::setControlTip(Control, const std::string&) {}

void WindowToolkit::setAccessibleName(Control, const std::string&) {}

}  // namespace folder2pdf
