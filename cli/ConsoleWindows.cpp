#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

// Whether stderr's console took ENABLE_VIRTUAL_TERMINAL_PROCESSING, as
// GetConsoleMode tells after SetConsoleMode; Windows before 10 refuses it.
bool modeTookEscapes = false;
// How many columns of the status line's row the console shows filled, as
// far as the line written without escapes reaches.
int statusColumns = 0;

// Where the console's cursor is in its row, -1 when it can't tell.
int cursorColumn() {
    CONSOLE_SCREEN_BUFFER_INFO information;
    return ::GetConsoleScreenBufferInfo(errorHandle(), &information)
               ? information.dwCursorPosition.X
               : -1;
}

// Whether the console acts on escape sequences. Wine's takes the mode and
// shows the sequences as text all the same, so the first status line asks
// the console itself: erasing a line's end must leave the cursor at its
// start. Where it didn't, what the sequence showed is written over next.
bool consoleActsOnEscapes() {
    static const bool acts = [] {
        if (!modeTookEscapes) {
            return false;
        }
        printText(stderr, "\r\033[K");
        statusColumns = std::max(cursorColumn(), 0);
        return statusColumns == 0;
    }();
    return acts;
}

// "\r", `line`, and spaces over what is left of the earlier line, then
// back to the line's start. The console measures the line as it draws it
// (a Chinese character takes two columns).
void rewriteWithSpaces(const std::string& line) {
    printText(stderr, "\r" + line);
    const int column = cursorColumn();
    const int shown = column >= 0 ? column : static_cast<int>(utf16(line).size());
    printText(
        stderr,
        std::string(static_cast<std::size_t>(std::max(statusColumns - shown, 0)), ' ') + "\r");
    statusColumns = shown;
}

}  // namespace

void prepareConsole() {
    previousCodePage = ::GetConsoleOutputCP();
    if (previousCodePage != 0 && previousCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(restoreCodePage);
    }
    DWORD mode = 0;
    if (::GetConsoleMode(errorHandle(), &mode) &&
        ::SetConsoleMode(errorHandle(), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        ::GetConsoleMode(errorHandle(), &mode)) {
        modeTookEscapes = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
}

void showStatusLine(const std::string& line) {
    if (consoleActsOnEscapes()) {
        printText(stderr, "\r" + line + "\033[K");
    } else {
        rewriteWithSpaces(line);
    }
}

void clearStatusLine() {
    if (consoleActsOnEscapes()) {
        printText(stderr, "\r\033[K");
    } else {
        rewriteWithSpaces("");
    }
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    std::vector<std::string> arguments = commandLineArguments(::GetCommandLineW());
    return arguments.empty() ? std::vector<std::string>(argv, argv + argc) : arguments;
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

bool outputIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool copyToOutput(const std::string& path) {
    // A document is bytes: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    const HANDLE file = ::CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool good = true;
    DWORD n = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) && n > 0) {
        good = good && std::fwrite(buffer.data(), 1, n, stdout) == n;
    }
    good = good && std::fflush(stdout) == 0;
    ::CloseHandle(file);
    return good;
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
