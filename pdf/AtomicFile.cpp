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
#include <random>

#include "common/Error.h"
#include "common/FileDescriptor.h"

namespace folder2pdf {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary file being written, for removeTemporaryFile(), which a
// signal handler may call at any moment on any thread. A writer claims the
// slot (Free to Filling), fills it and publishes it (Published); the handler
// reads it only when published. One write at a time is covered; a second
// one at the same moment goes without.
enum SlotState : int { Free, Filling, Published };
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
// other file is ever overwritten, named like ".target.XXXXXXXX.tmp": the
// leading dot keeps it out of the folder's picture list meanwhile. Its name
// goes to `temporary`, and to the pending slot when that is free (`recorded`).
int createTemporary(const std::string& path, int folder, std::string& temporary, bool& recorded) {
    const std::string name = nameOf(path);
    std::random_device seed;
    std::mt19937_64 random(seed());
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // A name near the 255-byte limit leaves no room for the additions.
    const std::string shortName = name.size() > 200 ? name.substr(0, 200) : name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) {
            suffix += letters[random() % (sizeof letters - 1)];
        }
        temporary = "." + shortName + "." + suffix + ".tmp";
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
            throw fileError(path, "cannot create a temporary file in " + folderOf(path), error);
        }
    }
    throw fileError(path, "cannot create a temporary file in " + folderOf(path), EEXIST);
}

void forget(bool recorded) {
    if (recorded) {
        pending.state.store(Free);
    }
}

// Returns 0, or the errno of the write that failed.
int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
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

}  // namespace

bool removeTemporaryFile() {
    if (pending.state.load() != Published) {
        return false;
    }
    ::unlinkat(pending.folder, pending.name, 0);
    return true;
}

void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const std::string name = nameOf(path);
    if (name.empty() || name == "." || name == "..") {
        throw fileError(path, "cannot replace", EISDIR);
    }
    // Everything happens relative to the folder, so that a target path close
    // to PATH_MAX still leaves room for the temporary file's longer name.
    const std::string folderPath = folderOf(path);
    const int folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        const int error = errno;
        throw fileError(path, "cannot create a temporary file in " + folderPath, error);
    }
    const FileDescriptor folderHandle(folder);
    std::string temporary;
    bool recorded = false;
    const int fd = createTemporary(path, folder, temporary, recorded);
    keepPermissions(fd, folder, name);

    const char* step = "cannot write";
    int error = writeAll(fd, data, size);
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
        step = "cannot flush";
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
        step = "cannot close";
    }
    if (error == 0) {
        const SignalsHeld held;
        if (::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0) {
            forget(recorded);
        } else {
            error = errno;
            step = "cannot replace";
        }
    }
    if (error != 0) {
        const SignalsHeld held;
        ::unlinkat(folder, temporary.c_str(), 0);
        forget(recorded);
        throw fileError(path, step, error);
    }
    flushFolder(folder);
}

}  // namespace folder2pdf
