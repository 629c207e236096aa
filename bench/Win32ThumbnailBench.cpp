// The native Windows window opening a large folder in the thumbnails' view:
// 2,000 hard links to one photograph in a new folder, opened as if chosen.
// Prints how long until the list shows its rows, until every thumbnail in
// view is drawn (at the opening and after a jump to the list's middle),
// the longest the window's thread left a message waiting, and the peak
// memory. Runs under Wine as on Windows; not a test.
//
//   win32_thumbnail_bench.exe PHOTO.jpg WORK-FOLDER [COUNT [names]]
//
// With "names", the list opens in the names' view, to set the listing's
// own time against the thumbnails'.

#include <objbase.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/SystemWindows.h"
#include "ui/win32/Win32Window.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The longest a message posted to the thread waited before it was handled.
std::atomic<long long> longestWaitNs{0};

LRESULT CALLBACK pingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const long long waited = Clock::now().time_since_epoch().count() - static_cast<long long>(lParam);
    if (waited > longestWaitNs.load()) {
        longestWaitNs.store(waited);
    }
    return 0;
}

// Handles the thread's messages, as the program's loop does, until `done`
// or `seconds` pass.
template <typename Done>
bool pumpUntil(folder2pdf::Win32Window& window, Done done, double seconds) {
    const auto start = Clock::now();
    while (!done()) {
        if (secondsSince(start) > seconds) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!window.takeMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    return true;
}

bool viewDrawn(folder2pdf::Win32Window& window) {
    const auto [first, end] = window.list().visibleRows();
    for (int row = first; row < end; ++row) {
        if (!window.list().hasThumbnail(row)) {
            return false;
        }
    }
    return end > first;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_thumbnail_bench PHOTO.jpg WORK-FOLDER [COUNT]\n");
        return 2;
    }
    const int count = argc > 3 ? std::max(1, _wtoi(argv[3])) : 2000;
    const std::wstring folder = std::wstring(argv[2]) + L"\\thumbnails-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\%05d.jpg", i);
        const std::wstring link = folder + name;
        if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CreateHardLinkW(link.c_str(), argv[1], nullptr)) {
            std::fprintf(stderr, "could not link %ls\n", link.c_str());
            return 1;
        }
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const HWND ping = CreateWindowW(L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
    SetWindowLongPtrW(ping, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pingProc));
    std::atomic<bool> pinging{true};
    std::thread system([&] {
        while (pinging.load()) {
            PostMessageW(ping, WM_APP, 0,
                         static_cast<LPARAM>(Clock::now().time_since_epoch().count()));
            Sleep(10);
        }
    });

    double listed = 0, drawn = 0, middle = 0, listingWait = 0;
    bool complete = false;
    {
        folder2pdf::Win32Window window;
        folder2pdf::Form1& form = window.form();
        ShowWindow(window.hwnd(), SW_SHOWNORMAL);
        const bool names = argc > 4 && std::wstring(argv[4]) == L"names";
        form.setListMode(names ? folder2pdf::ListMode::Names : folder2pdf::ListMode::Thumbnails);
        RECT frame{0, 0, 640, 640};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        SetWindowPos(window.hwnd(), nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);

        const auto start = Clock::now();
        form.openGivenFolder(folder2pdf::utf8(folder));
        UpdateWindow(window.hwnd());
        listed = secondsSince(start);
        // What waited while the folder was listed, apart from what waits
        // while the thumbnails come.
        pumpUntil(window, [] { return false; }, 0.05);
        listingWait = static_cast<double>(longestWaitNs.exchange(0)) / 1e6;
        complete = window.list().rowCount() == count &&
                   (names || pumpUntil(window, [&] { return viewDrawn(window); }, 120));
        drawn = secondsSince(start);

        const auto jump = Clock::now();
        SendMessageW(window.list().hwnd(), LB_SETTOPINDEX, static_cast<WPARAM>(count / 2), 0);
        complete = complete && (names || pumpUntil(window, [&] { return viewDrawn(window); }, 120));
        middle = secondsSince(jump);
        const auto [first, end] = window.list().visibleRows();
        std::printf("rows in view: %d\n", end - first);
    }
    pinging.store(false);
    system.join();

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%d hard links to one photograph, in the thumbnails' view\n", count);
    std::printf("%-48s %9.3f s\n", "list shown (the folder listed, painted)", listed);
    std::printf("%-48s %9.3f s\n", "every thumbnail in view drawn", drawn);
    std::printf("%-48s %9.3f s\n", "after a jump to the middle, drawn again", middle);
    std::printf("%-48s %9.1f ms\n", "longest a message waited, listing", listingWait);
    std::printf("%-48s %9.1f ms\n", "longest a message waited, thumbnails",
                static_cast<double>(longestWaitNs.load()) / 1e6);
    std::printf("%-48s %9.1f MiB\n", "peak working set",
                static_cast<double>(memory.PeakWorkingSetSize) / (1 << 20));
    std::printf("%-48s %9.1f MiB\n", "peak committed",
                static_cast<double>(memory.PeakPagefileUsage) / (1 << 20));
    if (!complete) {
        std::printf("the thumbnails did not all come within two minutes\n");
    }
    CoUninitialize();
    return complete ? 0 : 1;
}
