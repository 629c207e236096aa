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
#include <limits>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "pdf/TemporaryName.h"

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

namespace {

// SA_RESETHAND has put the default action back, which the raised signal
// meets once the handler returns.
extern "C" void removeAndEnd(int signal) {
    removeTemporaryFile();
    ::raise(signal);
}

}  // namespace

void removeTemporaryFileOnTermination() {
    struct sigaction action {};
    action.sa_handler = removeAndEnd;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ::sigaction(signal, &action, nullptr);
    }
}

bool temporaryFileCommitting() {
    return pending.state.load() == Committing;
}

AtomicFile::AtomicFile(const std::string& path) : path_(path) {
    const std::string name = nameOf(path);
    if (name.empty() || name == "." || name == "..") {
        throw fileError(path, "cannot replace", EISDIR, ErrorReason::CannotWrite);
    }
    // Everything happens relative to the folder, so that a target path close
    // to PATH_MAX still leaves room for the temporary file's longer name.
    const std::string folderPath = folderOf(path);
    const int folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        const int error = errno;
        throw fileError(path, "cannot create a temporary file in " + folderPath, error,
                        ErrorReason::CannotWrite);
    }
    folder_ = folder;
    try {
        file_ = createTemporary(path, folder, temporary_, recorded_);
    } catch (...) {
        ::close(folder);
        throw;
    }
    keepPermissions(static_cast<int>(file_), folder, name);
}

AtomicFile::~AtomicFile() {
    if (file_ >= 0) {
        discard();
    }
    ::close(static_cast<int>(folder_));
}

void AtomicFile::discard() {
    const int error = errno;
    const SignalsHeld held;
    ::close(static_cast<int>(file_));
    file_ = -1;
    ::unlinkat(static_cast<int>(folder_), temporary_.c_str(), 0);
    forget(recorded_);
    errno = error;
}

void AtomicFile::write(const std::uint8_t* data, std::size_t size) {
    const int fd = static_cast<int>(file_);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            throw fileError(path_, "cannot write", error, ErrorReason::CannotWrite);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        const std::uint64_t end = written_ + static_cast<std::uint64_t>(written);
        if (end / writeBehindStep != written_ / writeBehindStep) {
            const std::uint64_t from = writtenBehind_;
            writtenBehind_ = end / writeBehindStep * writeBehindStep;
            ::sync_file_range(fd, static_cast<off_t>(from),
                              static_cast<off_t>(writtenBehind_ - from), SYNC_FILE_RANGE_WRITE);
        }
        written_ = end;
    }
}

void AtomicFile::skip(std::uint64_t size) {
    const int fd = static_cast<int>(file_);
    const std::uint64_t end = written_ + size;
    int error = 0;
    if (end > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error = EFBIG;
    } else if (::ftruncate(fd, static_cast<off_t>(end)) != 0 ||
               ::lseek(fd, static_cast<off_t>(end), SEEK_SET) < 0) {
        error = errno;
    }
    if (error != 0) {
        throw fileError(path_, "cannot write", error, ErrorReason::CannotWrite);
    }
    written_ = end;
    writtenBehind_ = end;
}

void AtomicFile::commit() {
    if (recorded_) {
        int expected = Published;
        pending.state.compare_exchange_strong(expected, Committing);
    }
    if (::fsync(static_cast<int>(file_)) != 0) {
        const int error = errno;
        discard();
        throw fileError(path_, "cannot flush", error, ErrorReason::CannotWrite);
    }
    const char* step = nullptr;
    int error = 0;
    {
        const SignalsHeld held;
        const int closed = ::close(static_cast<int>(file_));
        file_ = -1;
        if (closed != 0) {
            error = errno;
            step = "cannot close";
        } else if (::renameat(static_cast<int>(folder_), temporary_.c_str(),
                              static_cast<int>(folder_), nameOf(path_).c_str()) != 0) {
            error = errno;
            step = "cannot replace";
        }
        if (step != nullptr) {
            ::unlinkat(static_cast<int>(folder_), temporary_.c_str(), 0);
        }
        forget(recorded_);
    }
    if (step != nullptr) {
        throw fileError(path_, step, error, ErrorReason::CannotWrite);
    }
    flushFolder(static_cast<int>(folder_));
}

void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    AtomicFile file(path);
    file.write(data, size);
    file.commit();
}

}  // namespace folder2pdf
