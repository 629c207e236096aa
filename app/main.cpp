// folder2pdf-gui: the window that turns a folder of pictures into one PDF.

#include <signal.h>

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>
#include <string>
#include <vector>

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

    // Ended by a signal mid-run (a session's end, the terminal that started
    // it closing, Ctrl-C there), the window leaves the earlier document and
    // nothing beside it.
    folder2pdf::removeTemporaryFileOn({SIGTERM, SIGHUP, SIGINT});
    folder2pdf::QtWindow window;
    window.show();
    // A folder to open, or pictures to list (a file manager's "Open with",
    // files dropped on the icon).
    const QStringList arguments = QApplication::arguments();
    std::vector<std::string> paths;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        paths.push_back(QFile::encodeName(arguments.at(i)).toStdString());
    }
    if (!paths.empty()) {
        window.form().openGivenPaths(paths);
    }
    return QApplication::exec();
}
