// Shows the window with a folder listed, one picture selected and the
// progress bar part-way, and saves a picture of it.
//
//   folder2pdf-gui-screenshot FOLDER OUT.png
//
// tools/screenshot.sh runs it under Xvfb; see there.

#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/qt/Form1.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: folder2pdf-gui-screenshot FOLDER OUT.png\n");
        return 2;
    }
    const QString folder = arguments.at(1);
    const QString output = arguments.at(2);

    folder2pdf::Form1 window;
    window.setFolderChooser([folder](QWidget*, const QString&, const QString&) { return folder; });
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("List"));
    list->setCurrentRow(std::min(1, list->count() - 1));
    window.showProgressRange(0, list->count() + 1);
    window.showProgress((list->count() + 1) / 2);

    int status = 1;
    QTimer::singleShot(1000, &window, [&] {
        status = window.grab().save(output) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
