#pragma once

#include <QIcon>
#include <QListWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image/Thumbnail.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace folder2pdf {

// The window's list of pictures: rows selected several at once, a row or
// a selected block dragged to another place, pictures dropped on it from a
// file manager, and thumbnails beside the names. Qt never moves or adds a
// row itself: a drop is only told, and the rows come back from the window's
// design, as for every other change of the list.
//
// A drop goes before the row under the point when the point is in the
// row's upper half, after it in its lower half (where Qt draws the drop
// line), and at the end below the last row.
class PictureList : public QListWidget {
  public:
    explicit PictureList(QWidget* parent);

    // Told on a drop: the selected rows dropped before `row`; files dropped
    // before `row`.
    std::function<void(int row)> rowsDragged;
    std::function<void(const std::vector<std::string>& paths, int row)> filesDropped;
    // Told when other rows came into view: the list scrolled or was resized.
    std::function<void()> viewChanged;

    // Names alone (0), or thumbnails of `side` x `side` pixels beside them.
    void setThumbnailSide(int side);
    void addRows(const QStringList& texts);
    // A row's new text: another picture, or the same turned, whose
    // thumbnail is blank until given.
    void setRow(int row, const QString& text);
    // Row `row`'s thumbnail; null: a blank square. A row whose thumbnail is
    // drawn holds true under `thumbnailDrawnRole`.
    void setThumbnail(int row, const Thumbnail* thumbnail);
    static constexpr int thumbnailDrawnRole = Qt::UserRole;

    std::vector<int> selectedRows() const;
    // Selects `rows` alone, the first the current row, scrolled into view.
    void selectRows(const std::vector<int>& rows);
    // [first, end) of the rows in view.
    std::pair<int, int> visibleRows() const;
    // The row a drop at `point` (in the viewport) goes before.
    int dropRow(QPoint point) const;

  protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    bool ownRows(const QMimeData* data) const;
    bool takes(const QMimeData* data) const;
    int rowAt(int y, int step) const;

    int side_ = 0;
    QIcon blank_;
    ScrollMode namesScrollMode_ = ScrollPerItem;
};

}  // namespace folder2pdf
