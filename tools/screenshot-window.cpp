// Shows the window with a folder listed, one picture selected and the
// progress bar part-way, and saves a picture of it.
//
//   folder2pdf-gui-screenshot FOLDER OUT.png
//
// tools/screenshot.sh runs it under Xvfb; see there.

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/qt/QtWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: folder2pdf-gui-screenshot FOLDER OUT.png\n");
        return 2;
    }
    const QString folder = arguments.at(1);
    const QString output = arguments.at(2);

    folder2pdf::QtWindow window;
    folder2pdf::Form1& form = window.form();
    form.setFolderChooser([&](const std::string&, const std::string&) {
        return QFile::encodeName(folder).toStdString();
    });
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("List"));
    list->setCurrentRow(std::min(1, list->count() - 1));
    form.showProgressRange(0, list->count() + 1);
    form.showProgress((list->count() + 1) / 2);

    int status = 1;
    QTimer::singleShot(1000, &window, [&] {
        status = window.grab().save(output) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
