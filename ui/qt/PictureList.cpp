#include "ui/qt/PictureList.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QItemSelection>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>

namespace folder2pdf {

namespace {

// Marks a drag of this list's own rows, with the process and the list it
// came from: rows dragged from another window are not this list's rows.
const QString ownRowsFormat = QStringLiteral("application/x-folder2pdf-rows");

QByteArray identity(const PictureList* list) {
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
           QByteArray::number(reinterpret_cast<quintptr>(list));
}

// The thumbnail centred in a transparent square, or a null pixmap when its
// pixels are not what its size says.
QPixmap squarePixmap(const Thumbnail& thumbnail, int side) {
    const bool gray = thumbnail.channels == 1;
    if (thumbnail.width <= 0 || thumbnail.height <= 0 || (!gray && thumbnail.channels != 3)) {
        return {};
    }
    const auto stride = static_cast<qsizetype>(thumbnail.width) * thumbnail.channels;
    if (thumbnail.pixels.size() / static_cast<std::size_t>(stride) <
        static_cast<std::size_t>(thumbnail.height)) {
        return {};
    }
    // Borrows the thumbnail's pixels: drawn below, before it can go.
    QImage image(thumbnail.pixels.data(), thumbnail.width, thumbnail.height, stride,
                 gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.width() > side || image.height() > side) {
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QPixmap square(side, side);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((side - image.width()) / 2, (side - image.height()) / 2, image);
    return square;
}

QPixmap blankSquare(int side) {
    QPixmap square(side, side);
    square.fill(QColor(238, 238, 238));
    return square;
}

std::vector<std::string> localPaths(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    return paths;
}

}  // namespace

PictureList::PictureList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
    namesScrollMode_ = verticalScrollMode();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (viewChanged) {
            viewChanged();
        }
    });
}

void PictureList::setThumbnailSide(int side) {
    if (side == side_) {
        return;
    }
    side_ = side;
    blank_ = side > 0 ? QIcon(blankSquare(side)) : QIcon();
    // Every row as high as a thumbnail, drawn or not, so that the rows in
    // view stay the rows in view while thumbnails arrive.
    setUniformItemSizes(side > 0);
    setIconSize(side > 0 ? QSize(side, side) : QSize());
    setVerticalScrollMode(side > 0 ? QAbstractItemView::ScrollPerPixel : namesScrollMode_);
    setSpacing(side > 0 ? 2 : 0);
    for (int row = 0; row < count(); ++row) {
        item(row)->setIcon(blank_);
        item(row)->setData(thumbnailDrawnRole, false);
    }
}

void PictureList::addRows(const QStringList& texts) {
    const int from = count();
    addItems(texts);
    if (side_ > 0) {
        for (int row = from; row < count(); ++row) {
            item(row)->setIcon(blank_);
        }
    }
}

void PictureList::setRow(int row, const QString& text) {
    QListWidgetItem* changed = item(row);
    if (!changed) {
        return;
    }
    changed->setText(text);
    // Another picture, or the same turned: its thumbnail comes anew.
    setThumbnail(row, nullptr);
}

void PictureList::setThumbnail(int row, const Thumbnail* thumbnail) {
    QListWidgetItem* shown = item(row);
    if (side_ <= 0 || !shown) {
        return;
    }
    const QPixmap pixmap = thumbnail ? squarePixmap(*thumbnail, side_) : QPixmap();
    QIcon icon = blank_;
    if (!pixmap.isNull()) {
        // As it will come out, not tinted by the selection's colour.
        icon = QIcon(pixmap);
        icon.addPixmap(pixmap, QIcon::Selected);
    }
    shown->setIcon(icon);
    shown->setData(thumbnailDrawnRole, !pixmap.isNull());
}

std::vector<int> PictureList::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void PictureList::selectRows(const std::vector<int>& rows) {
    if (rows.empty()) {
        clearSelection();
        return;
    }
    // Runs of rows as one range each: a block of thousands stays small.
    QItemSelection selection;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) {
            ++last;
        }
        selection.select(model()->index(rows[i], 0), model()->index(rows[last], 0));
        i = last + 1;
    }
    const QModelIndex first = model()->index(rows.front(), 0);
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    scrollTo(first);
}

int PictureList::rowAt(int y, int step) const {
    // Rows fill the list's width; between them lie `spacing` pixels.
    const int x = visualItemRect(item(0)).center().x();
    for (int tries = 0; tries <= spacing() * 2 + 1; ++tries, y += step) {
        const QModelIndex index = indexAt(QPoint(x, y));
        if (index.isValid()) {
            return index.row();
        }
    }
    return -1;
}

std::pair<int, int> PictureList::visibleRows() const {
    const int height = viewport()->height();
    if (count() == 0 || height <= 0) {
        return {0, 0};
    }
    const int first = std::max(rowAt(0, 1), 0);
    const int last = rowAt(height - 1, -1);
    return {first, std::max(first, last < 0 ? count() - 1 : last) + 1};
}

int PictureList::dropRow(QPoint point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        if (count() == 0) {
            return 0;
        }
        const int below = rowAt(point.y(), 1);
        return below < 0 ? count() : below;
    }
    const bool lowerHalf = point.y() >= visualRect(index).center().y();
    return index.row() + (lowerHalf ? 1 : 0);
}

QStringList PictureList::mimeTypes() const {
    return QListWidget::mimeTypes() << ownRowsFormat << QStringLiteral("text/uri-list");
}

QMimeData* PictureList::mimeData(const QList<QListWidgetItem*>& items) const {
    QMimeData* data = QListWidget::mimeData(items);
    if (data) {
        data->setData(ownRowsFormat, identity(this));
    }
    return data;
}

bool PictureList::ownRows(const QMimeData* data) const {
    return data && data->data(ownRowsFormat) == identity(this);
}

// The list takes its own rows, to move them, and files from anywhere.
bool PictureList::takes(const QMimeData* data) const {
    return ownRows(data) || (data && data->hasUrls());
}

void PictureList::dragEnterEvent(QDragEnterEvent* event) {
    if (!takes(event->mimeData())) {
        event->ignore();
        return;
    }
    QListWidget::dragEnterEvent(event);
    event->acceptProposedAction();
}

void PictureList::dragMoveEvent(QDragMoveEvent* event) {
    if (!takes(event->mimeData())) {
        event->ignore();
        return;
    }
    // Scrolls near the edges and draws the drop line.
    QListWidget::dragMoveEvent(event);
    event->acceptProposedAction();
}

void PictureList::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    setState(QAbstractItemView::NoState);
    viewport()->update();
    const QMimeData* data = event->mimeData();
    const int row = dropRow(event->position().toPoint());
    if (ownRows(data)) {
        // Taken as a copy: after a move Qt would remove the dragged rows
        // itself, and the rows are the design's to rebuild.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (rowsDragged) {
            rowsDragged(row);
        }
    } else if (data->hasUrls()) {
        event->acceptProposedAction();
        if (filesDropped) {
            filesDropped(localPaths(*data), row);
        }
    } else {
        event->ignore();
    }
}

void PictureList::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    if (viewChanged) {
        viewChanged();
    }
}

}  // namespace folder2pdf
