// The parts of the test support that differ between systems: Windows.

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "TestSupport.h"
#include "common/SystemWindows.h"

namespace testsupport {
namespace {

using folder2pdf::utf16;

// One argument as the C runtime's command-line parsing takes it back:
// quoted, with backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

struct Handle {
    HANDLE handle = nullptr;
    ~Handle() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

// The console that a program run "on a terminal" has for its stderr: the
// tests' own, made once (the tests' own output stays where it went), its
// screen cleared before each run.
HANDLE testConsole() {
    static const HANDLE console = [] {
        const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
        const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
        ::FreeConsole();
        if (!::AllocConsole()) {
            throw std::runtime_error("no console");
        }
        ::SetStdHandle(STD_INPUT_HANDLE, in);
        ::SetStdHandle(STD_OUTPUT_HANDLE, out);
        ::SetStdHandle(STD_ERROR_HANDLE, err);
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        return ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                             nullptr);
    }();
    CONSOLE_SCREEN_BUFFER_INFO screen;
    ::GetConsoleScreenBufferInfo(console, &screen);
    DWORD written = 0;
    ::FillConsoleOutputCharacterW(
        console, L' ', static_cast<DWORD>(screen.dwSize.X) * screen.dwSize.Y, {0, 0}, &written);
    ::SetConsoleCursorPosition(console, {0, 0});
    return console;
}

// What the console's screen shows, down to the cursor's row: a line for
// each row, the spaces at its end cut.
std::string consoleScreen(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    ::GetConsoleScreenBufferInfo(console, &screen);
    std::string text;
    for (SHORT row = 0; row <= screen.dwCursorPosition.Y; ++row) {
        std::wstring line(static_cast<std::size_t>(screen.dwSize.X), L' ');
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(console, line.data(), static_cast<DWORD>(line.size()),
                                      {0, row}, &read);
        line.resize(std::min<std::size_t>(read, line.size()));
        line.erase(line.find_last_not_of(L' ') + 1);
        text += folder2pdf::utf8(line) + (row < screen.dwCursorPosition.Y ? "\n" : "");
    }
    return text;
}

}  // namespace

const bool onWindows = true;

CommandResult run(const Names& argv, const RunOptions& options) {
    if (!options.interruptAt.empty()) {
        throw std::logic_error("run: no SIGINT on Windows");
    }
    std::wstring commandLine;
    for (const std::string& argument : argv) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(utf16(argument));
    }
    // The output goes to files, which need no reader while the program runs.
    const TempDir logs;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto open = [&](const std::wstring& path, DWORD access, DWORD disposition) {
        return Handle{::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherited, disposition, 0, nullptr)};
    };
    const Handle input = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const Handle out = open(utf16(logs.file("out")), GENERIC_WRITE, CREATE_ALWAYS);
    const Handle err = open(utf16(logs.file("err")), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.handle;
    startup.hStdOutput = out.handle;
    startup.hStdError = options.terminal ? testConsole() : err.handle;
    PROCESS_INFORMATION process{};
    CommandResult result;
    const std::size_t entries =
        options.killOnNewEntryIn.empty() ? 0 : listFolder(options.killOnNewEntryIn).size();
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        result.status = 127;
        return result;
    }
    const Handle processHandle{process.hProcess};
    const Handle threadHandle{process.hThread};
    while (!options.killOnNewEntryIn.empty() &&
           ::WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        if (listFolder(options.killOnNewEntryIn).size() > entries) {
            ::TerminateProcess(process.hProcess, 9);
            break;
        }
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result.status = static_cast<int>(code);
    result.out = readFile(logs.file("out"));
    result.err = options.terminal ? consoleScreen(startup.hStdError) : readFile(logs.file("err"));
    // What a read in text mode would give: the C runtime writes "\n" as
    // "\r\n" to the program's stdout and stderr.
    for (std::string* text : {&result.out, &result.err}) {
        for (std::size_t at; (at = text->find("\r\n")) != std::string::npos;) {
            text->erase(at, 1);
        }
    }
    return result;
}

void whileUnwritable(const std::string& document, const std::function<void()>& steps) {
    const HANDLE held = ::CreateFileW(utf16(document).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    steps();
    ::CloseHandle(held);
}

std::thread holdAsReader(const std::string& path, int milliseconds) {
    const HANDLE held = ::CreateFileW(utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    return std::thread([held, milliseconds] {
        ::Sleep(static_cast<DWORD>(milliseconds));
        ::CloseHandle(held);
    });
}

bool hideFile(const std::string& path) {
    return ::SetFileAttributesW(utf16(path).c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

}  // namespace testsupport
