// Shows the native Windows window with a folder listed, one picture
// selected and the progress bar part-way, and writes the window's place on
// the screen (left top right bottom) to PLACE-FILE once it is painted. It
// stays open until it is closed or killed. With "thumbnails", the list
// shows them, in a window tall enough for a few.
//
//   folder2pdf-gui-screenshot.exe FOLDER PLACE-FILE [thumbnails]
//
// tools/screenshot-windows.sh runs it under Wine and Xvfb; see there.

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/SystemWindows.h"
#include "ui/win32/Win32Window.h"

int wmain(int argc, wchar_t** argv) {
    const bool thumbnails = argc == 4 && std::wstring(argv[3]) == L"thumbnails";
    if (argc != 3 && !thumbnails) {
        std::fprintf(stderr, "usage: folder2pdf-gui-screenshot FOLDER PLACE-FILE [thumbnails]\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    folder2pdf::Win32Window window;
    folder2pdf::Form1& form = window.form();
    window.quitWhenClosed();
    form.setFolderChooser(
        [&](const std::string&, const std::string&) { return folder2pdf::utf8(folder); });
    ShowWindow(window.hwnd(), SW_SHOWNORMAL);
    SetWindowPos(window.hwnd(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    SendMessageW(GetDlgItem(window.hwnd(), folder2pdf::Win32Window::firstControlId + 1), BM_CLICK,
                 0, 0);
    const int count = static_cast<int>(form.job()->entries().size());
    form.selectEntry(count > 1 ? 1 : 0);
    form.showProgressRange(0, count + 1);
    form.showProgress((count + 1) / 2);
    if (thumbnails) {
        form.setListMode(folder2pdf::ListMode::Thumbnails);
        RECT frame{};
        GetWindowRect(window.hwnd(), &frame);
        SetWindowPos(window.hwnd(), nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top + 300, SWP_NOMOVE | SWP_NOZORDER);
        // The thumbnails in view come in before the place is told.
        for (int wait = 0; wait < 100; ++wait, Sleep(20)) {
            form.runPendingEvents();
        }
    }
    SetForegroundWindow(window.hwnd());
    UpdateWindow(window.hwnd());

    RECT place{};
    GetWindowRect(window.hwnd(), &place);
    // Run by Wine's desktop, the program has no console to print to.
    if (FILE* file = _wfopen(argv[2], L"w")) {
        std::fprintf(file, "%ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
        std::fclose(file);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!window.takeMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CoUninitialize();
    return 0;
}
