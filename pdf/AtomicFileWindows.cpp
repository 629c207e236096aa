#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

// A new temporary file beside the target, created exclusively so that no
// other file is ever overwritten. It is opened sharing deletion, so that
// removeTemporaryFile() can delete it while it is being written. Its name
// goes with its folder to `temporary`, and to the pending slot when that is
// free (`recorded`).
HANDLE createTemporary(const std::string& path, std::wstring& temporary, bool& recorded) {
    const std::wstring folder = wideFolderOf(path);
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + utf16(names.next());
        const PendingHeld held;
        const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
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
    if (!::FlushFileBuffers(t.file)) {
        const DWORD code = ::GetLastError();
        t.discard();
        throwFileError(path_, "cannot flush", code, ErrorReason::CannotWrite);
    }
    const char* step = nullptr;
    DWORD code = 0;
    {
        const PendingHeld held;
        const bool closed = ::CloseHandle(t.file);
        t.file = INVALID_HANDLE_VALUE;
        if (!closed) {
            code = ::GetLastError();
            step = "cannot close";
        } else if (!::MoveFileExW(t.path.c_str(), widePath(path_).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            code = ::GetLastError();
            step = "cannot replace";
        }
        if (step != nullptr) {
            ::DeleteFileW(t.path.c_str());
        }
        forget(t.recorded);
    }
    if (step != nullptr) {
        throwFileError(path_, step, code, ErrorReason::CannotWrite);
    }
}

}  // namespace folder2pdf
