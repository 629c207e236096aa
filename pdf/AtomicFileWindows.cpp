#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/Error.h"
#include "common/Path.h"
#include "common/SystemWindows.h"
#include "pdf/AtomicFile.h"
#include "pdf/TemporaryNames.h"

namespace folder2pdf {
namespace {

// The full UTF-16 path of the target's folder, ending in "\".
std::wstring wideFolderOf(const std::string& path) {
    const std::wstring target = widePath(path);
    return target.substr(0, target.rfind(L'\\') + 1);
}

// The temporary file of the AtomicFile alive now, for removeTemporaryFile(),
// which the console's Ctrl-C handler calls on a thread of its own. The lock
// keeps the handler out while the file is being created and recorded, or
// renamed or removed and forgotten.
enum SlotState { Free, Published, Committing };
SRWLOCK pendingLock = SRWLOCK_INIT;
SlotState pendingState = Free;
std::wstring pendingPath;

class PendingHeld {
  public:
    PendingHeld() { ::AcquireSRWLockExclusive(&pendingLock); }
    ~PendingHeld() { ::ReleaseSRWLockExclusive(&pendingLock); }
    PendingHeld(const PendingHeld&) = delete;
    PendingHeld& operator=(const PendingHeld&) = delete;
};

// Marks the open file for deletion when its last handle closes, or takes
// the mark back. The mark, not FILE_FLAG_DELETE_ON_CLOSE, because only the
// mark can be taken back (before Windows 10's FileDispositionInfoEx).
bool markForDeletion(HANDLE file, bool deleteIt) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteIt ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof disposition) != 0;
}

// A new temporary file beside the target, created exclusively so that no
// other file is ever overwritten, hidden, and marked for deletion so that
// the system removes it when the process ends, however it ends. Opened
// with DELETE access for that mark and for the rename through the handle,
// sharing deletion so that removeTemporaryFile() can still delete it. Its
// path goes to `temporary`, and to the pending slot when that is free
// (`recorded`).
HANDLE createTemporary(const std::string& path, std::wstring& temporary, bool& recorded) {
    const std::wstring folder = wideFolderOf(path);
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + utf16(names.next());
        const PendingHeld held;
        const HANDLE handle =
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            markForDeletion(handle, true);
            recorded = pendingState == Free;
            if (recorded) {
                pendingState = Published;
                pendingPath = temporary;
            }
            return handle;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            throwFileError(path, "cannot create a temporary file in " + folderOf(path), code,
                           ErrorReason::CannotWrite);
        }
    }
    throwFileError(path, "cannot create a temporary file in " + folderOf(path), ERROR_FILE_EXISTS,
                   ErrorReason::CannotWrite);
}

// Called with the lock held.
void forget(bool recorded) {
    if (recorded) {
        pendingState = Free;
        pendingPath.clear();
    }
}

// Whether another program holds the file at `target` open without sharing
// its deletion, which a replace needs: a PDF reader showing the document.
bool heldByAnother(const std::wstring& target) {
    const HANDLE handle = ::CreateFileW(
        target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        return false;
    }
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Whether a failed replace met a target held by another program: Windows
// says so, or refuses access while the target is held.
bool heldAgainstReplace(DWORD code, const std::wstring& target) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           (code == ERROR_ACCESS_DENIED && heldByAnother(target));
}

// A hold that ends soon (a virus scanner or indexer reading the new file's
// predecessor) is waited out: the waits before each further attempt, a
// little over 2 s in all.
constexpr DWORD holdWaits[] = {100, 200, 400, 800, 800};

Error inUse(const std::string& path) {
    return Error(ErrorReason::InUse, path, "cannot replace: in use by another program");
}

// Renames the open file to `target`, replacing it, and makes it visible.
// Returns 0, or the error code of the failed rename.
DWORD renameOver(HANDLE file, const std::wstring& target) {
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, target.c_str(), nameBytes + sizeof(wchar_t));
    markForDeletion(file, false);
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size()))) {
        const DWORD code = ::GetLastError();
        markForDeletion(file, true);
        return code;
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    return 0;
}

}  // namespace

bool removeTemporaryFile() {
    const PendingHeld held;
    if (pendingState == Free) {
        return false;
    }
    ::DeleteFileW(pendingPath.c_str());
    return true;
}

bool temporaryFileCommitting() {
    const PendingHeld held;
    return pendingState == Committing;
}

// The open temporary file and its full path.
struct AtomicFile::Temporary {
    HANDLE file = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE once committed or discarded
    std::wstring path;
    bool recorded = false;  // whether removeTemporaryFile() knows of it
    bool pending = false;   // complete, but another program held the target

    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        if (file != INVALID_HANDLE_VALUE) {
            discard();
        }
    }

    // Closes and removes the file.
    void discard() {
        const PendingHeld held;
        markForDeletion(file, true);
        ::CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        ::DeleteFileW(path.c_str());
        forget(recorded);
    }
};

AtomicFile::AtomicFile(const std::string& path)
    : path_(path), temporary_(std::make_unique<Temporary>()) {
    const std::string name = nameOf(path);
    if (name.empty() || name == "." || name == "..") {
        throw Error(ErrorReason::CannotWrite, path,
                    std::string("cannot replace: ") + std::strerror(EISDIR));
    }
    // A document open in a reader is reported now, not after the run.
    const std::wstring target = widePath(path);
    for (const DWORD wait : holdWaits) {
        if (!heldByAnother(target)) {
            break;
        }
        ::Sleep(wait);
    }
    if (heldByAnother(target)) {
        throw inUse(path);
    }
    temporary_->file = createTemporary(path, temporary_->path, temporary_->recorded);
}

AtomicFile::~AtomicFile() = default;

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(temporary_->file, data, chunk, &written, nullptr)) {
            throwFileError(path_, "cannot write", ::GetLastError(), ErrorReason::CannotWrite);
        }
        data += written;
        size -= written;
    }
}

void AtomicFile::commit() {
    Temporary& t = *temporary_;
    {
        const PendingHeld held;
        if (t.recorded) {
            pendingState = Committing;
        }
    }
    // Flushed already: the target was held at the last try.
    if (t.pending) {
        replace();
        return;
    }
    if (!::FlushFileBuffers(t.file)) {
        const DWORD code = ::GetLastError();
        t.discard();
        throwFileError(path_, "cannot flush", code, ErrorReason::CannotWrite);
    }
    replace();
}

void AtomicFile::replace() {
    Temporary& t = *temporary_;
    const std::wstring target = widePath(path_);
    t.pending = false;
    DWORD code = 0;
    for (std::size_t attempt = 0;; ++attempt) {
        {
            const PendingHeld held;
            code = renameOver(t.file, target);
            if (code == 0) {
                ::CloseHandle(t.file);
                t.file = INVALID_HANDLE_VALUE;
                forget(t.recorded);
                return;
            }
        }
        if (attempt == std::size(holdWaits) || !heldAgainstReplace(code, target)) {
            break;
        }
        ::Sleep(holdWaits[attempt]);
    }
    if (heldAgainstReplace(code, target)) {
        // Kept, still marked for deletion, for a retry or for the destructor.
        const PendingHeld held;
        t.pending = true;
        if (t.recorded) {
            pendingState = Published;
        }
        throw inUse(path_);
    }
    t.discard();
    throwFileError(path_, "cannot replace", code, ErrorReason::CannotWrite);
}

}  // namespace folder2pdf
