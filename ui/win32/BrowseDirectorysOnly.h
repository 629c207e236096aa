#pragma once

#include <windows.h>

#include <string>

namespace folder2pdf::BrowseDirectorysOnly {

// Lets the user choose one folder of the file system in the shell's modal
// folder dialog (SHBrowseForFolderW, the classic one), owned by `owner` and
// showing `title` above the folder tree. The dialog opens with `startFolder`
// selected, shows the selected folder's full path in its status line while
// the user browses, and confirms only file-system folders. COM must be
// initialised on the calling thread.
//
// Returns the chosen folder's full path, or "" when the user cancels or the
// chosen item has no file-system path.
std::wstring browseFolder(HWND owner, const std::wstring& title, const std::wstring& startFolder);

}  // namespace folder2pdf::BrowseDirectorysOnly
