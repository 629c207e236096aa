// The parts of the test support that differ between systems: Windows.

#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <stdexcept>
#include <thread>

#include "TestSupport.h"

namespace testsupport {
namespace {

std::wstring wide(const std::string& text) {
    return u8path(text).wstring();
}

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

void readAll(HANDLE pipe, std::string& sink) {
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        sink.append(buffer, got);
    }
}

}  // namespace

const bool onWindows = true;

CommandResult run(const Names& argv, const RunOptions& options) {
    if (options.terminal || !options.interruptAt.empty()) {
        throw std::logic_error("run: no pseudo-terminal or SIGINT on Windows");
    }
    std::wstring commandLine;
    for (const std::string& argument : argv) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(argument));
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite, input;
    if (!::CreatePipe(&outRead.handle, &outWrite.handle, &inherited, 0) ||
        !::CreatePipe(&errRead.handle, &errWrite.handle, &inherited, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    ::SetHandleInformation(outRead.handle, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead.handle, HANDLE_FLAG_INHERIT, 0);
    input.handle = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.handle;
    startup.hStdOutput = outWrite.handle;
    startup.hStdError = errWrite.handle;
    PROCESS_INFORMATION process{};
    CommandResult result;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        result.status = 127;
        return result;
    }
    const Handle processHandle{process.hProcess};
    const Handle threadHandle{process.hThread};
    ::CloseHandle(outWrite.handle);
    outWrite.handle = nullptr;
    ::CloseHandle(errWrite.handle);
    errWrite.handle = nullptr;
    std::thread errors([&] { readAll(errRead.handle, result.err); });
    readAll(outRead.handle, result.out);
    errors.join();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result.status = static_cast<int>(code);
    // What a pipe read in text mode would give: the C runtime writes "\n"
    // as "\r\n" to the program's stdout and stderr.
    for (std::string* text : {&result.out, &result.err}) {
        for (std::size_t at; (at = text->find("\r\n")) != std::string::npos;) {
            text->erase(at, 1);
        }
    }
    return result;
}

// The PDF readers the tests consult (qpdf, poppler) are Linux programs;
// the Windows build's documents are checked against the Linux build's
// bytes instead.
bool haveTool(const std::string&) {
    return false;
}

bool hideFile(const std::string& path) {
    return ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

bool makeFifo(const std::string&) {
    return false;
}

std::size_t threadCount() {
    const Handle snapshot{::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0)};
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.handle, &entry); more;
         more = ::Thread32Next(snapshot.handle, &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
    }
    return count;
}

}  // namespace testsupport
