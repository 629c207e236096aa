// folder2pdf-gui: the window that turns a folder of pictures into one PDF.

#include <QApplication>

#include "ui/Form1.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("folder2pdf-gui"));
    QApplication::setApplicationVersion(QStringLiteral(FOLDER2PDF_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("folder2pdf-gui"));

    folder2pdf::Form1 window;
    window.show();
    return QApplication::exec();
}
