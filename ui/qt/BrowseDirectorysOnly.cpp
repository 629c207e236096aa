#include "ui/qt/BrowseDirectorysOnly.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

namespace folder2pdf::BrowseDirectorysOnly {

namespace {

// The status line: the full path of the folder selected now. Qt's dialog
// shows only the name in its name field, relative to the folder it lists.
QLabel* addStatusLine(QFileDialog& dialog) {
    auto* status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("selectedPath"));
    status->setTextFormat(Qt::PlainText);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return status;
}

}  // namespace

QString browseFolder(QWidget* owner, const QString& title, const QString& startFolder) {
    QFileDialog dialog(owner, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);

    QLabel* status = addStatusLine(dialog);
    // What the dialog would return now: the folder selected or named in the
    // name field, else the folder listed. Only folders of the file system
    // have a path to show; anything else leaves the line as it was.
    const auto showSelected = [&dialog, status] {
        const QStringList selected = dialog.selectedFiles();
        const QFileInfo info(selected.value(0));
        if (!selected.isEmpty() && info.isDir()) {
            status->setText(QDir::toNativeSeparators(info.absoluteFilePath()));
        }
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, status, showSelected);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, status, showSelected);
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        QObject::connect(name, &QLineEdit::textChanged, status, showSelected);
    }

    const QFileInfo start(startFolder);
    if (start.isDir()) {
        // Lists the folder around the start folder with the start folder
        // itself selected.
        dialog.selectFile(start.absoluteFilePath());
        status->setText(QDir::toNativeSeparators(start.absoluteFilePath()));
    }

    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.first()).isDir()) {
        return QString();
    }
    return QDir::toNativeSeparators(chosen.first());
}

}  // namespace folder2pdf::BrowseDirectorysOnly
