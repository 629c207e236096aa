#pragma once

#include <QString>

class QWidget;

namespace folder2pdf::BrowseDirectorysOnly {

// Lets the user choose one folder of the file system in a modal dialog
// owned by `owner` and titled `title`. The dialog is Qt's own, not the
// desktop's, so it looks and behaves the same everywhere and tests can
// drive it (it is QApplication::activeModalWidget() while it runs, a
// QFileDialog). It opens with `startFolder` selected, shows the selected
// folder's full path below the list while the user browses, and confirms
// only existing folders.
//
// Returns the chosen folder's full path, or "" when the user cancels.
QString browseFolder(QWidget* owner, const QString& title, const QString& startFolder);

}  // namespace folder2pdf::BrowseDirectorysOnly
