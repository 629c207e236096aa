// folder2pdf-gui on Windows: the native window that turns a folder of
// pictures into one PDF.

#include <objbase.h>
#include <windows.h>

#include "common/SystemWindows.h"
#include "ui/win32/Win32Window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The shell's folder dialog needs COM on this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        folder2pdf::Win32Window window;
        window.quitWhenClosed();
        ShowWindow(window.hwnd(), showCommand);
        UpdateWindow(window.hwnd());
        // What to open: a folder (Explorer's 转换为PDF, a folder dropped on
        // the icon) or pictures (Send To gives each selected file), read as
        // the command line reads its own.
        const std::vector<std::string> arguments =
            folder2pdf::commandLineArguments(GetCommandLineW());
        if (arguments.size() > 1) {
            window.form().openGivenPaths({arguments.begin() + 1, arguments.end()});
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!window.takeMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        exitCode = static_cast<int>(message.wParam);
    }
    CoUninitialize();
    return exitCode;
}
