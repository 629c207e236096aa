// Shows the window with a folder listed, one picture selected and the
// progress bar part-way, and saves a picture of it: the list as names, or
// with --thumbnails as thumbnails beside them, once those in view are drawn
// (the window taller, to show a few).
//
//   folder2pdf-gui-screenshot FOLDER OUT.png [--thumbnails]
//
// tools/screenshot.sh runs it under Xvfb; see there.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/qt/PictureList.h"
#include "ui/qt/QtWindow.h"

namespace {

// Whether every row in view has its thumbnail drawn.
bool thumbnailsShown(const folder2pdf::PictureList& list) {
    const auto [first, end] = list.visibleRows();
    for (int row = first; row < end; ++row) {
        if (!list.item(row)->data(folder2pdf::PictureList::thumbnailDrawnRole).toBool()) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const bool thumbnails = arguments.size() == 4 && arguments.at(3) == "--thumbnails";
    if (arguments.size() != 3 && !thumbnails) {
        std::fprintf(stderr, "usage: folder2pdf-gui-screenshot FOLDER OUT.png [--thumbnails]\n");
        return 2;
    }
    const QString folder = arguments.at(1);
    const QString output = arguments.at(2);

    folder2pdf::QtWindow window;
    folder2pdf::Form1& form = window.form();
    form.setFolderChooser([&](const std::string&, const std::string&) {
        return QFile::encodeName(folder).toStdString();
    });
    // Not the view the user chose last.
    form.setListMode(thumbnails ? folder2pdf::ListMode::Thumbnails : folder2pdf::ListMode::Names);
    window.show();
    if (thumbnails) {
        window.resize(window.width(), window.height() * 2);
    }
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    auto* list = static_cast<folder2pdf::PictureList*>(
        window.findChild<QListWidget*>(QStringLiteral("List")));
    list->setCurrentRow(std::min(1, list->count() - 1));
    form.showProgressRange(0, list->count() + 1);
    form.showProgress((list->count() + 1) / 2);

    int status = 1;
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        if (waited.elapsed() < 1000 ||
            (thumbnails && !thumbnailsShown(*list) && waited.elapsed() < 20000)) {
            return;
        }
        status = window.grab().save(output) ? 0 : 1;
        QApplication::quit();
    });
    poll.start(50);
    QApplication::exec();
    return status;
}
