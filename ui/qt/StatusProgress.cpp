#include "ui/qt/StatusProgress.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <string>

#include "common/Checked.h"
#include "common/Error.h"

namespace folder2pdf::StatusProgress {

namespace {

// A part's rectangle in the bar's coordinates, edges as a window rectangle
// holds them: right and bottom lie just outside the part.
struct PartRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Parts start this far below the bar's top edge, leaving a thin line
// between the bar and what lies above it.
constexpr int partTop = 2;
// 300 twips: the strip the window keeps free below its list.
constexpr int minimumBarHeight = 20;

// The status area: a row of parts with fixed right edges, the last one
// running to the bar's right end, each part a label with its border style.
class StatusBarWidget : public QWidget {
  public:
    StatusBarWidget(QWidget* parent, const std::array<std::int32_t, 4>& rightEdges)
        : QWidget(parent), rightEdges_(rightEdges) {
        setObjectName(QStringLiteral("statusBar"));
        setAutoFillBackground(true);
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            parts_[i] = new QLabel(this);
            parts_[i]->setObjectName(QStringLiteral("part%1").arg(i));
            parts_[i]->setTextFormat(Qt::PlainText);
            parts_[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }

    QLabel* part(std::int32_t index) const { return parts_[static_cast<std::size_t>(index)]; }

    PartRect partRect(std::int32_t index) const {
        PartRect rect;
        rect.left = index == 0 ? 0 : rightEdges_[static_cast<std::size_t>(index - 1)];
        const std::int32_t edge = rightEdges_[static_cast<std::size_t>(index)];
        rect.right = edge == -1 ? width() : edge;
        rect.right = std::max(rect.right, rect.left);
        rect.top = partTop;
        rect.bottom = height();
        return rect;
    }

    // Along the bottom edge of the parent, at its full width and the bar's
    // own height, as a native status bar places itself.
    void fitToParent() {
        const QWidget* parent = parentWidget();
        const int barHeight = std::max(minimumBarHeight, fontMetrics().height() + 4);
        setGeometry(0, parent->height() - barHeight, parent->width(), barHeight);
        layoutParts();
    }

  protected:
    void resizeEvent(QResizeEvent*) override { layoutParts(); }

  private:
    void layoutParts() {
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(parts_.size()); ++i) {
            const PartRect rect = partRect(i);
            part(i)->setGeometry(rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top);
        }
    }

    std::array<std::int32_t, 4> rightEdges_;
    std::array<QLabel*, 4> parts_{};
};

// The module's state: one status bar per program.
QPointer<StatusBarWidget> hStatusBar;
QPointer<QProgressBar> hProgressBar;
PartLayoutTable partLayout{};
std::int32_t lastPart = 0;
PartRect lastPartRect;

void applyStyle(std::int32_t part) {
    QLabel* label = hStatusBar->part(part);
    if (partLayout[static_cast<std::size_t>(part)][1] == noBorders) {
        label->setFrameStyle(QFrame::NoFrame);
    } else {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
}

}  // namespace

void createStatusBar(QWidget* parent, const PartLayoutTable& table) {
    partLayout = table;
    lastPart = static_cast<std::int32_t>(table.size()) - 1;

    const std::array<std::int32_t, 4> rightEdges = partRightEdges(table);

    hStatusBar = new StatusBarWidget(parent, rightEdges);
    hStatusBar->setGeometry(0, 0, 0, 0);
    for (std::int32_t part = 0; part <= lastPart; ++part) {
        applyStyle(part);
        hStatusBar->part(part)->clear();
    }

    // Born in the window and then moved into the bar, where (0, 0) and
    // 100 x 10 count from the bar's corner until the first refit.
    hProgressBar = new QProgressBar(parent);
    hProgressBar->setObjectName(QStringLiteral("progressBar"));
    hProgressBar->setGeometry(0, 0, 100, 10);
    hProgressBar->setParent(hStatusBar);
    hProgressBar->setTextVisible(false);
    // A style sheet, not the palette: most styles draw the bar in their own
    // accent colour and ignore the palette.
    hProgressBar->setStyleSheet(
        QStringLiteral("QProgressBar { background-color: rgb(255, 255, 255); border: 1px solid "
                       "rgb(160, 160, 160); }"
                       "QProgressBar::chunk { background-color: rgb(255, 0, 0); }"));
    hProgressBar->show();
}

void setStatusText(std::int32_t part, const QString& text) {
    if (!hStatusBar || part < 0 || part > lastPart) {
        throw Error(ErrorKind::SubscriptOutOfRange,
                    "subscript out of range: status bar part " + std::to_string(part));
    }
    applyStyle(part);
    hStatusBar->part(part)->setText(text);
}

void resizeStatusBar() {
    if (!hStatusBar) {
        return;
    }
    hStatusBar->fitToParent();
    lastPartRect = hStatusBar->partRect(lastPart);
    if (hProgressBar) {
        const PartRect& r = lastPartRect;
        const std::int32_t width = checkedInt32(std::int64_t{r.right} - r.left - 2);
        // The bottom coordinate less 3, not the height less 3: the bar then
        // ends one pixel above the status bar's lower edge.
        const std::int32_t height = checkedInt32(std::int64_t{r.bottom} - 3);
        hProgressBar->setGeometry(r.left, r.top, std::max(width, 0), std::max(height, 0));
    }
}

void destroyStatusBar() {
    // The progress bar first: it is the status bar's child.
    delete hProgressBar.data();
    delete hStatusBar.data();
}

void setProgressRange(std::int32_t low, std::int32_t high) {
    if (hProgressBar) {
        hProgressBar->setRange(low, high);
    }
}

void setProgressPos(std::int32_t pos) {
    if (hProgressBar) {
        hProgressBar->setValue(pos);
    }
}

QWidget* statusBar() {
    return hStatusBar.data();
}

QProgressBar* progressBar() {
    return hProgressBar.data();
}

}  // namespace folder2pdf::StatusProgress
