// The parts of the test support that differ between systems: Windows.

#include <windows.h>

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

}  // namespace

const bool onWindows = true;

CommandResult run(const Names& argv, const RunOptions& options) {
    if (options.terminal || !options.interruptAt.empty()) {
        throw std::logic_error("run: no pseudo-terminal or SIGINT on Windows");
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
    startup.hStdError = err.handle;
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
    result.err = readFile(logs.file("err"));
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
