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
#include <stdexcept>
#include <utility>

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

// Puts the temporary file in the pending slot when that is free, and
// tells whether it did. `name` is "" for a file without a name.
bool record(int folder, const std::string& name) {
    int expected = Free;
    if (!pending.state.compare_exchange_strong(expected, Filling)) {
        return false;
    }
    pending.folder = folder;
    std::memcpy(pending.name, name.c_str(), name.size() + 1);
    pending.state.store(Published);
    return true;
}

// The name a file without one got at commit, told to the pending slot: the
// handler reads the name only once the state says it is whole again.
void recordName(const std::string& name) {
    int expected = Committing;
    if (pending.state.compare_exchange_strong(expected, Filling)) {
        std::memcpy(pending.name, name.c_str(), name.size() + 1);
        pending.state.store(Committing);
    }
}

[[noreturn]] void creationFailed(const std::string& path, int error) {
    throw fileError(path, "cannot create a temporary file in " + folderOf(path), error,
                    ErrorReason::CannotWrite);
}

// A file without a name in the target's folder (O_TMPFILE): the system
// drops it with the process, however that ends, unless commit() links it
// in. It is linked through /proc, so it is used only where /proc is;
// -1 where the file system or the kernel has no such files.
int openUnnamed(const std::string& path, int folder) {
    if (::access("/proc/self/fd", X_OK) != 0) {
        return -1;
    }
    const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        creationFailed(path, errno);
    }
    return fd;
}

// A new named temporary file beside the target, created exclusively so
// that no other file is ever overwritten, where unnamed ones can't be
// made. Its name goes to `temporary`, and to the pending slot when that is
// free (`recorded`).
int createTemporary(const std::string& path, int folder, std::string& temporary, bool& recorded) {
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = names.next();
        const SignalsHeld held;
        const int fd =
            ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            recorded = record(folder, temporary);
            return fd;
        }
        if (errno != EEXIST) {
            creationFailed(path, errno);
        }
    }
    creationFailed(path, EEXIST);
}

// Links the file without a name into its folder under a new temporary
// name, for the rename over the target; false with errno set on failure.
// Called with signals held.
bool giveName(const std::string& path, int file, int folder, std::string& name, bool recorded) {
    const std::string link = "/proc/self/fd/" + std::to_string(file);
    TemporaryNames names(nameOf(path));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = names.next();
        if (::linkat(AT_FDCWD, link.c_str(), folder, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            name = candidate;
            if (recorded) {
                recordName(name);
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
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
    if (pending.name[0] != '\0') {
        ::unlinkat(pending.folder, pending.name, 0);
    }
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
    int file = -1;          // -1 once committed or discarded
    std::string name;       // "" while the file has no name
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
        if (!name.empty()) {
            ::unlinkat(folder, name.c_str(), 0);
        }
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
    t.file = openUnnamed(path, t.folder);
    if (t.file >= 0) {
        const SignalsHeld held;
        t.recorded = record(t.folder, "");
    } else {
        t.file = createTemporary(path, t.folder, t.name, t.recorded);
    }
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
    replace();
}

void AtomicFile::replace() {
    Temporary& t = *temporary_;
    const char* step = nullptr;
    int error = 0;
    {
        const SignalsHeld held;
        if (t.name.empty() && !giveName(path_, t.file, t.folder, t.name, t.recorded)) {
            error = errno;
            step = "cannot replace";
        } else if (::close(std::exchange(t.file, -1)) != 0) {
            error = errno;
            step = "cannot close";
        } else if (::renameat(t.folder, t.name.c_str(), t.folder, nameOf(path_).c_str()) != 0) {
            error = errno;
            step = "cannot replace";
        }
        if (step != nullptr) {
            if (t.file >= 0) {
                ::close(std::exchange(t.file, -1));
            }
            if (!t.name.empty()) {
                ::unlinkat(t.folder, t.name.c_str(), 0);
            }
        }
        forget(t.recorded);
    }
    if (step != nullptr) {
        throw fileError(path_, step, error, ErrorReason::CannotWrite);
    }
    flushFolder(t.folder);
}

}  // namespace folder2pdf

namespace folder2pdf {

namespace {

extern "C" void removeTemporaryAndEnd(int signal) {
    removeTemporaryFile();
    ::raise(signal);
}

}  // namespace

void removeTemporaryFileOn(std::initializer_list<int> signalNumbers) {
    // SA_RESTART keeps reads and writes going.
    struct sigaction termination {};
    termination.sa_handler = removeTemporaryAndEnd;
    termination.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&termination.sa_mask);
    for (const int signal : signalNumbers) {
        ::sigaction(signal, &termination, nullptr);
    }
}

}  // namespace folder2pdf
