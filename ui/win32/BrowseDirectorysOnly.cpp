#include "ui/win32/BrowseDirectorysOnly.h"

#include <shlobj.h>

namespace folder2pdf::BrowseDirectorysOnly {

namespace {

// Read by the callback when the dialog has initialised; one dialog at a time.
std::wstring startPath;

int CALLBACK browseCallback(HWND dialog, UINT message, LPARAM data, LPARAM) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(startPath.c_str()));
    } else if (message == BFFM_SELCHANGED) {
        // An item without a file-system path (a virtual folder) leaves the
        // status line as it was.
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(data), path)) {
            SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

}  // namespace

std::wstring browseFolder(HWND owner, const std::wstring& title, const std::wstring& startFolder) {
    startPath = startFolder;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT;
    info.lpfn = browseCallback;

    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    return found ? std::wstring(path) : std::wstring();
}

}  // namespace folder2pdf::BrowseDirectorysOnly
