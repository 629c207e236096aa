// folder2pdf-gui: the window that turns a folder of pictures into one PDF.

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "pdf/AtomicFile.h"
#include "ui/qt/QtWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("folder2pdf-gui"));
    QApplication::setApplicationVersion(QStringLiteral(FOLDER2PDF_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("folder2pdf-gui"));

    // The window speaks Simplified Chinese, whatever the desktop's language;
    // Qt's own dialogs (the folder chooser, message boxes) should too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    // Killed mid-run, the window leaves the earlier document and nothing beside it.
    folder2pdf::removeTemporaryFileOnTermination();
    folder2pdf::QtWindow window;
    window.show();
    return QApplication::exec();
}
