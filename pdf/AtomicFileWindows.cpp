#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Error.h"
#include "common/System.h"
#include "common/SystemWindows.h"
#include "pdf/AtomicFile.h"
#include "pdf/TemporaryName.h"

namespace folder2pdf {
namespace {

// The full UTF-16 path of the target's folder, ending in "\".
std::wstring wideFolderOf(const std::string& path) {
    const std::wstring target = widePath(path);
    return target.substr(0, target.rfind(L'\\') + 1);
}

HANDLE handleOf(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
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

// A new temporary file beside the target, created exclusively so that no
// other file is ever overwritten. It is opened sharing deletion, so that
// removeTemporaryFile() can delete it while it is being written. Its name
// goes to `temporary`, and its path to the pending slot when that is free
// (`recorded`).
HANDLE createTemporary(const std::string& path, std::string& temporary, bool& recorded) {
    const std::wstring folder = wideFolderOf(path);
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = names.next();
        const std::wstring full = folder + utf16(temporary);
        const PendingHeld held;
        const HANDLE handle = ::CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            recorded = pendingState == Free;
            if (recorded) {
                pendingState = Published;
                pendingPath = full;
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

}  // namespace

void removeTemporaryFileOnTermination() {}

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

AtomicFile::AtomicFile(const std::string& path) : path_(path) {
    const std::string name = nameOf(path);
    if (name.empty() || name == "." || name == "..") {
        throw Error(ErrorKind::FileError, ErrorReason::CannotWrite, path,
                    std::string("cannot replace: ") + std::strerror(EISDIR));
    }
    file_ = reinterpret_cast<std::intptr_t>(createTemporary(path, temporary_, recorded_));
}

AtomicFile::~AtomicFile() {
    if (file_ != -1) {
        discard();
    }
}

void AtomicFile::discard() {
    const int error = errno;
    const PendingHeld held;
    ::CloseHandle(handleOf(file_));
    file_ = -1;
    ::DeleteFileW((wideFolderOf(path_) + utf16(temporary_)).c_str());
    forget(recorded_);
    errno = error;
}

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handleOf(file_), data, chunk, &written, nullptr)) {
            throwFileError(path_, "cannot write", ::GetLastError(), ErrorReason::CannotWrite);
        }
        data += written;
        size -= written;
        written_ += written;
    }
}

void AtomicFile::skip(std::uint64_t size) {
    const std::uint64_t end = written_ + size;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(end);
    if (end > static_cast<std::uint64_t>(INT64_MAX) ||
        !::SetFilePointerEx(handleOf(file_), position, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handleOf(file_))) {
        throwFileError(path_, "cannot write", ::GetLastError(), ErrorReason::CannotWrite);
    }
    written_ = end;
    writtenBehind_ = end;
}

void AtomicFile::commit() {
    {
        const PendingHeld held;
        if (recorded_) {
            pendingState = Committing;
        }
    }
    if (!::FlushFileBuffers(handleOf(file_))) {
        const DWORD code = ::GetLastError();
        discard();
        throwFileError(path_, "cannot flush", code, ErrorReason::CannotWrite);
    }
    const std::wstring temporary = wideFolderOf(path_) + utf16(temporary_);
    const char* step = nullptr;
    DWORD code = 0;
    {
        const PendingHeld held;
        const bool closed = ::CloseHandle(handleOf(file_));
        file_ = -1;
        if (!closed) {
            code = ::GetLastError();
            step = "cannot close";
        } else if (!::MoveFileExW(temporary.c_str(), widePath(path_).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            code = ::GetLastError();
            step = "cannot replace";
        }
        if (step != nullptr) {
            ::DeleteFileW(temporary.c_str());
        }
        forget(recorded_);
    }
    if (step != nullptr) {
        throwFileError(path_, step, code, ErrorReason::CannotWrite);
    }
}

void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    AtomicFile file(path);
    file.write(data, size);
    file.commit();
}

}  // namespace folder2pdf
