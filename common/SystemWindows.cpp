#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "common/SystemWindows.h"
#include "common/Text.h"

namespace folder2pdf {
namespace {

struct FileHandle {
    HANDLE handle;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

struct FindHandle {
    HANDLE handle;
    ~FindHandle() { ::FindClose(handle); }
};

int errnoFor(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_NETWORK_ACCESS_DENIED:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        default:
            return 0;
    }
}

// The full form of `path` that GetFullPathNameW gives: "\" between names,
// no "." or ".." parts.
std::wstring fullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return path;
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

[[noreturn]] void listingError(const std::string& folder, DWORD code) {
    throw Error(reasonOfErrno(errnoFor(code), ErrorReason::CannotRead), folder,
                "cannot list the folder: " + errorText(code));
}

// Whether a link found in a listing leads to a regular file: opening it
// follows it (to a folder, too, with backup semantics).
bool linkLeadsToFile(const std::wstring& path) {
    const HANDLE handle =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const FileHandle guard{handle};
    BY_HANDLE_FILE_INFORMATION information;
    return ::GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isListed(const WIN32_FIND_DATAW& entry, const std::wstring& folder, bool folders) {
    const DWORD attributes = entry.dwFileAttributes;
    if (entry.cFileName[0] == L'.' || (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folders) {
        return false;
    }
    if (folders) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return linkLeadsToFile(folder + entry.cFileName);
    }
    return true;
}

// Opens the regular file at `path` for reading and tells its size.
// Backup semantics let a folder open too, so that it is refused like any
// other non-file, as on other systems.
HANDLE openRegularFile(const std::string& path, std::uint64_t& size) {
    const HANDLE handle = ::CreateFileW(
        widePath(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throwFileError(path, "cannot open", ::GetLastError());
    }
    FileHandle guard{handle};
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        throw Error(ErrorReason::CannotRead, path, "not a regular file");
    }
    // The standard information, not GetFileInformationByHandle(): that one
    // asks the volume for its serial number too, which costs Wine most of a
    // millisecond a file, and a folder listing opens every picture.
    FILE_STANDARD_INFO information;
    if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &information,
                                        sizeof information)) {
        throwFileError(path, "cannot read", ::GetLastError());
    }
    if (information.Directory) {
        throw Error(ErrorReason::CannotRead, path, "not a regular file");
    }
    size = static_cast<std::uint64_t>(information.EndOfFile.QuadPart);
    guard.handle = INVALID_HANDLE_VALUE;
    return handle;
}

// Reads into `data` until `size` bytes or the file's end; how many came.
std::size_t readUpTo(HANDLE file, const std::string& path, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!::ReadFile(file, data + done, chunk, &got, nullptr)) {
            throwFileError(path, "cannot read", ::GetLastError());
        }
        if (got == 0) {
            break;  // the file shrank since it was measured: decode what is there
        }
        done += got;
    }
    return done;
}

}  // namespace

std::wstring utf16(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    // Without MB_ERR_INVALID_CHARS a broken sequence becomes U+FFFD instead
    // of failing the whole text.
    const int size = checkedInt32(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    // A lone surrogate becomes U+FFFD.
    const int size = checkedInt32(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring widePath(const std::string& path) {
    const std::wstring wide = utf16(path);
    if (startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\")) {
        return wide;
    }
    // "\\?\" turns off the 260-character limit, and with it the system's
    // tidying of the path, which fullPath() has done instead.
    const std::wstring full = fullPath(wide);
    if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) {
        return full;
    }
    if (startsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

std::string errorText(unsigned long code) {
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
        return "in use by another program";
    }
    if (const int error = errnoFor(code); error != 0) {
        return std::strerror(error);
    }
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(code) : utf8(message);
}

void throwFileError(const std::string& path, const std::string& what, unsigned long code,
                    ErrorReason otherwise) {
    throw Error(reasonOfErrno(errnoFor(code), otherwise), path, what + ": " + errorText(code));
}

void readWholeFile(const std::string& path, Bytes& bytes) {
    std::uint64_t size = 0;
    const FileHandle file{openRegularFile(path, size)};
    if (size > INT32_MAX) {
        throw Error(
            ErrorReason::TooLarge, path,
            "file too large: " + groupedNumber(size) + " bytes pass the 2,147,483,647-byte limit");
    }
    resizeBytes(bytes, static_cast<std::size_t>(size));
    bytes.resize(readUpTo(file.handle, path, bytes.data(), bytes.size()));
}

std::size_t readFileStart(const std::string& path, std::uint8_t* buffer, std::size_t size) {
    std::uint64_t fileSize = 0;
    const FileHandle file{openRegularFile(path, fileSize)};
    return readUpTo(file.handle, path, buffer, size);
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    // FILETIME counts 100 ns from 1601, 11,644,473,600 s before 1970.
    const std::int64_t ticks = static_cast<std::int64_t>(
        (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
        data.ftLastWriteTime.dwLowDateTime);
    return (ticks - 116444736000000000) * 100;
}

namespace {

// The names in `folder` of the files, or the sub-folders, a listing shows.
std::vector<std::string> listEntries(const std::string& folder, bool folders) {
    std::wstring prefix = widePath(folder);
    if (prefix.empty() || prefix.back() != L'\\') {
        prefix += L'\\';
    }
    WIN32_FIND_DATAW entry;
    const HANDLE find =
        ::FindFirstFileExW((prefix + L'*').c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<std::string> names;
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Nothing at all, not even "." and "..": an empty drive's root.
        const DWORD attributes = ::GetFileAttributesW(prefix.c_str());
        if (code == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return names;
        }
        listingError(folder, code);
    }
    const FindHandle guard{find};
    do {
        if (isListed(entry, prefix, folders)) {
            names.push_back(utf8(entry.cFileName));
        }
    } while (::FindNextFileW(find, &entry));
    if (const DWORD code = ::GetLastError(); code != ERROR_NO_MORE_FILES) {
        listingError(folder, code);
    }
    return names;
}

}  // namespace

std::vector<std::string> listFolder(const std::string& folder) {
    return listEntries(folder, false);
}

std::vector<std::string> listSubfolders(const std::string& folder,
                                        std::vector<std::string>& linked) {
    std::vector<std::string> own;
    std::wstring prefix = widePath(folder);
    if (prefix.empty() || prefix.back() != L'\\') {
        prefix += L'\\';
    }
    for (std::string& name : listEntries(folder, true)) {
        // Symbolic links and junctions to folders are reparse points.
        const DWORD attributes = ::GetFileAttributesW((prefix + utf16(name)).c_str());
        const bool link = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        (link ? linked : own).push_back(std::move(name));
    }
    return own;
}

bool isFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string temporaryFolder() {
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length > 0 && length < folder.size() ? length : 0);
    std::string path = utf8(folder);
    std::replace(path.begin(), path.end(), '\\', '/');
    while (path.size() > 3 && path.back() == '/') {
        path.pop_back();
    }
    return path.empty() ? "." : path;
}

void removeFile(const std::string& path) {
    ::DeleteFileW(widePath(path).c_str());
}

bool debuggerAttached() {
    return ::IsDebuggerPresent() != 0;
}

namespace {

// The file's information by handle, links followed as stat() follows them.
// Reading the attributes needs no right to the file's contents, and backup
// semantics open a folder too.
std::optional<BY_HANDLE_FILE_INFORMATION> fileInformation(const std::string& path) {
    const HANDLE handle =
        ::CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const FileHandle guard{handle};
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(handle, &information)) {
        return std::nullopt;
    }
    return information;
}

}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    const auto information = fileInformation(path);
    if (!information) {
        return std::nullopt;
    }
    return FileIdentity{
        information->dwVolumeSerialNumber,
        (std::uint64_t{information->nFileIndexHigh} << 32) | information->nFileIndexLow};
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    const auto found = fileInformation(path);
    if (!found) {
        return std::nullopt;
    }
    const BY_HANDLE_FILE_INFORMATION& information = *found;
    return FileStamp{
        (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow,
        static_cast<std::int64_t>((std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
                                  information.ftLastWriteTime.dwLowDateTime)};
}

namespace {

// Whether the last name of `path` is one Windows keeps for a device in
// every folder: the part before its first dot or colon, spaces before
// those ignored, in any case. "C:NUL" names the device too.
bool isReservedName(const std::string& path) {
    std::string name = nameOf(path);
    if (name.size() >= 2 && name[1] == ':') {
        name.erase(0, 2);
    }
    name.erase(std::min(name.find_first_of(".:"), name.size()));
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (name == device) {
            return true;
        }
    }
    // COM1 to COM9 and LPT1 to LPT9, and with the superscript digits ¹ ² ³
    // (UTF-8 C2 B9, C2 B2, C2 B3), which Windows takes for 1, 2 and 3.
    if (name.rfind("COM", 0) != 0 && name.rfind("LPT", 0) != 0) {
        return false;
    }
    const std::string digit = name.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// What a handle opened on `path`, links followed, leads to; `opened` false
// when nothing does.
OutputProblem problemOfTarget(const std::wstring& path, bool& opened) {
    const HANDLE handle = ::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    opened = handle != INVALID_HANDLE_VALUE;
    if (!opened) {
        return OutputProblem::None;
    }
    const FileHandle guard{handle};
    switch (::GetFileType(handle)) {
        case FILE_TYPE_CHAR:
            return OutputProblem::Device;
        case FILE_TYPE_PIPE:
            return OutputProblem::Fifo;
        default:
            break;
    }
    BY_HANDLE_FILE_INFORMATION information;
    return ::GetFileInformationByHandle(handle, &information) &&
                   (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? OutputProblem::Folder
               : OutputProblem::None;
}

}  // namespace

OutputProblem outputProblem(const std::string& path) {
    if (isReservedName(path)) {
        return OutputProblem::ReservedName;
    }
    const std::wstring wide = widePath(path);
    // The device namespace: named pipes, and devices by their own names.
    if (startsWith(wide, L"\\\\.\\")) {
        return _wcsnicmp(wide.c_str(), L"\\\\.\\pipe\\", 9) == 0 ? OutputProblem::Fifo
                                                                 : OutputProblem::Device;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return OutputProblem::None;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? OutputProblem::Folder
                                                            : OutputProblem::None;
    }
    // A symbolic link or a junction: what it leads to decides.
    bool opened = false;
    const OutputProblem problem = problemOfTarget(wide, opened);
    if (!opened) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                       code == ERROR_CANT_RESOLVE_FILENAME
                   ? OutputProblem::DanglingLink
                   : OutputProblem::None;
    }
    return problem == OutputProblem::Device || problem == OutputProblem::Fifo
               ? OutputProblem::LinkToSpecial
               : problem;
}

std::vector<std::string> commandLineArguments(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(commandLine, &count);
    if (wide == nullptr) {
        return {};
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        std::string argument = utf8(wide[i]);
        // No name holds a '"': a last one came from a "\"" that meant a
        // separator before the closing quote. A drive's letter alone would
        // name the drive's current folder, so its root keeps the separator.
        if (i > 0 && argument.size() > 1 && argument.back() == '"') {
            argument.pop_back();
            if (argument.size() == 2 && argument[1] == ':') {
                argument += '\\';
            }
        }
        arguments.push_back(std::move(argument));
    }
    ::LocalFree(wide);
    return arguments;
}

int processorCount() {
    return static_cast<int>(std::max<DWORD>(1, ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)));
}

std::string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return "";
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::string full = absolutePath(utf8(path));
    return full.substr(0, full.rfind('/'));
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string nameOfFolder(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    std::string name = nameOf(path);
    if (name.size() == 2 && name[1] == ':') {
        name.pop_back();  // a drive's root: "D:" after "\\?\" or alone
    }
    return name.empty() ? "root" : name;
}

std::string shownPath(const std::string& path) {
    std::string shown = path;
    std::replace(shown.begin(), shown.end(), '/', '\\');
    return shown;
}

std::string absolutePath(const std::string& path) {
    std::string full = utf8(fullPath(utf16(path)));
    for (char& c : full) {
        if (c == '\\') {
            c = '/';
        }
    }
    // A drive's root keeps its separator: "C:/".
    while (full.size() > 1 && full.back() == '/' && !(full.size() == 3 && full[1] == ':')) {
        full.pop_back();
    }
    return full;
}

}  // namespace folder2pdf
