#include "pdf/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "common/Path.h"
#include "pdf/TemporaryNames.h"

namespace folder2pdf {
namespace {

// The temporary file of the AtomicFile alive now, for removeTemporaryFile(),
// which a signal handler may call at any moment on any thread. A new file
// claims the slot (Free to Filling), fills it and publishes it (Published,
// then Committing during commit()); the handler reads it only when
// published.
enum SlotState : int { Free, Filling, Published, Committing };
struct PendingTemporary {
    std::atomic<int> state{Free};
    int folder = -1;
    char name[NAME_MAX + 1] = {};
};
PendingTemporary pending;
static_assert(std::atomic<int>::is_always_lock_free);

// Blocks every signal on the calling thread while it lives, so that no
// handler runs between creating the temporary file and recording it, or
// between renaming it and forgetting it.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

// A new temporary file beside the target, created exclusively so that no
// other file is ever overwritten. Its name goes to `temporary`, and to the
// pending slot when that is free (`recorded`).
int createTemporary(const std::string& path, int folder, std::string& temporary, bool& recorded) {
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = names.next();
        const SignalsHeld held;
        const int fd =
            ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            int expected = Free;
            recorded = pending.state.compare_exchange_strong(expected, Filling);
            if (recorded) {
                pending.folder = folder;
                std::memcpy(pending.name, temporary.c_str(), temporary.size() + 1);
                pending.state.store(Published);
            }
            return fd;
        }
        const int error = errno;
        if (error != EEXIST) {
            throw fileError(path, "cannot create a temporary file in " + folderOf(path), error,
                            ErrorReason::CannotWrite);
        }
    }
    throw fileError(path, "cannot create a temporary file in " + folderOf(path), EEXIST,
                    ErrorReason::CannotWrite);
}

void forget(bool recorded) {
    if (recorded) {
        pending.state.store(Free);
    }
}

// A replaced document keeps the permissions the user gave the old one.
void keepPermissions(int fd, int folder, const std::string& name) {
    struct stat old;
    if (::fstatat(folder, name.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
    }
}

// The rename reaches the disk with the folder's entries. Best effort: the
// document is complete and in place whether or not this succeeds.
void flushFolder(int folder) {
    const FileDescriptor entries(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries.get() >= 0) {
        ::fsync(entries.get());
    }
}

// The kernel is asked to start writing out each stretch of this size as
// soon as it is complete, so that the flush in commit() finds little left
// to do and a document of gigabytes does not sit in memory as dirty pages.
constexpr std::uint64_t writeBehindStep = 32u << 20;

}  // namespace

bool removeTemporaryFile() {
    const int state = pending.state.load();
    if (state != Published && state != Committing) {
        return false;
    }
    ::unlinkat(pending.folder, pending.name, 0);
    return true;
}

bool temporaryFileCommitting() {
    return pending.state.load() == Committing;
}

// The open temporary file: its folder, kept open so that everything
// happens relative to it (a target path close to PATH_MAX still leaves room
// for the temporary file's longer name), and the file itself.
struct AtomicFile::Temporary {
    int folder = -1;
    int file = -1;  // -1 once committed or discarded
    std::string name;
    bool recorded = false;  // whether removeTemporaryFile() knows of it
    std::uint64_t written = 0;
    std::uint64_t writtenBehind = 0;  // bytes already handed to the disk's write-out

    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        if (file >= 0) {
            discard();
        }
        if (folder >= 0) {
            ::close(folder);
        }
    }

    // Closes and removes the file. errno is kept as it was, for a caller
    // that cleans up between a failed call and reading its errno.
    void discard() {
        const int error = errno;
        const SignalsHeld held;
        ::close(file);
        file = -1;
        ::unlinkat(folder, name.c_str(), 0);
        forget(recorded);
        errno = error;
    }
};

AtomicFile::AtomicFile(const std::string& path)
    : path_(path), temporary_(std::make_unique<Temporary>()) {
    const std::string name = nameOf(path);
    if (name.empty() || name == "." || name == "..") {
        throw fileError(path, "cannot replace", EISDIR, ErrorReason::CannotWrite);
    }
    const std::string folderPath = folderOf(path);
    Temporary& t = *temporary_;
    t.folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (t.folder < 0) {
        const int error = errno;
        throw fileError(path, "cannot create a temporary file in " + folderPath, error,
                        ErrorReason::CannotWrite);
    }
    t.file = createTemporary(path, t.folder, t.name, t.recorded);
    keepPermissions(t.file, t.folder, name);
}

AtomicFile::~AtomicFile() = default;

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    Temporary& t = *temporary_;
    while (size > 0) {
        const ssize_t written = ::write(t.file, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            throw fileError(path_, "cannot write", error, ErrorReason::CannotWrite);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        const std::uint64_t end = t.written + static_cast<std::uint64_t>(written);
        if (end / writeBehindStep != t.written / writeBehindStep) {
            const std::uint64_t from = t.writtenBehind;
            t.writtenBehind = end / writeBehindStep * writeBehindStep;
            ::sync_file_range(t.file, static_cast<off_t>(from),
                              static_cast<off_t>(t.writtenBehind - from), SYNC_FILE_RANGE_WRITE);
        }
        t.written = end;
    }
}

void AtomicFile::commit() {
    Temporary& t = *temporary_;
    if (t.recorded) {
        int expected = Published;
        pending.state.compare_exchange_strong(expected, Committing);
    }
    if (::fsync(t.file) != 0) {
        const int error = errno;
        t.discard();
        throw fileError(path_, "cannot flush", error, ErrorReason::CannotWrite);
    }
    const char* step = nullptr;
    int error = 0;
    {
        const SignalsHeld held;
        const int closed = ::close(t.file);
        t.file = -1;
        if (closed != 0) {
            error = errno;
            step = "cannot close";
        } else if (::renameat(t.folder, t.name.c_str(), t.folder, nameOf(path_).c_str()) != 0) {
            error = errno;
            step = "cannot replace";
        }
        if (step != nullptr) {
            ::unlinkat(t.folder, t.name.c_str(), 0);
        }
        forget(t.recorded);
    }
    if (step != nullptr) {
        throw fileError(path_, step, error, ErrorReason::CannotWrite);
    }
    flushFolder(t.folder);
}

}  // namespace folder2pdf
