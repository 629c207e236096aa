#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <atomic>
#include <cstdlib>

#include "cli/Console.h"
#include "common/SystemWindows.h"
#include "pdf/AtomicFile.h"

namespace folder2pdf {
namespace {

// The run that Ctrl-C stops, if any, and how many Ctrl-Cs came. The
// console calls the handler on a thread of its own.
std::atomic<std::atomic<bool>*> interruptibleJob{nullptr};
std::atomic<int> interrupts{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        std::atomic<bool>* job = interruptibleJob.load();
        if (job == nullptr || temporaryFileCommitting() || interrupts.fetch_add(1) > 0) {
            removeTemporaryFile();
            std::_Exit(exitInterrupted);
        }
        job->store(true);
        return TRUE;
    }
    // The console closing, the user logging off, the system shutting down:
    // the next handler (the default one) ends the program.
    removeTemporaryFile();
    return FALSE;
}

// The console's code page before the program set UTF-8, for the console
// window, which outlives the program.
UINT previousCodePage = 0;

void restoreCodePage() {
    ::SetConsoleOutputCP(previousCodePage);
}

HANDLE errorHandle() {
    return ::GetStdHandle(STD_ERROR_HANDLE);
}

}  // namespace

void prepareConsole() {
    previousCodePage = ::GetConsoleOutputCP();
    if (previousCodePage != 0 && previousCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(restoreCodePage);
    }
    DWORD mode = 0;
    if (::GetConsoleMode(errorHandle(), &mode)) {
        ::SetConsoleMode(errorHandle(), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(utf8(wide[i]));
        if (i > 0 && arguments.back().size() > 1 && arguments.back().back() == '"') {
            arguments.back().pop_back();
        }
    }
    ::LocalFree(wide);
    return arguments;
}

void printText(std::FILE* stream, const std::string& text) {
    const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(handle, &mode)) {
        std::fputs(text.c_str(), stream);
        return;
    }
    // What the C library holds for the console goes first, to keep the order.
    std::fflush(stream);
    const std::wstring wide = utf16(text);
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

bool errorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(errorHandle(), &mode) != 0;
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO information;
    if (::GetConsoleScreenBufferInfo(errorHandle(), &information)) {
        const int columns = information.srWindow.Right - information.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return 80;
}

StopSignals::StopSignals(std::atomic<bool>& stop) {
    interruptibleJob.store(&stop);
    interrupts.store(0);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    interruptibleJob.store(nullptr);
}

}  // namespace folder2pdf
