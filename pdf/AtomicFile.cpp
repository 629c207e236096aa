#include "pdf/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "common/Error.h"

namespace folder2pdf {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what, int error) {
    throw Error(ErrorKind::FileError, path + ": " + what + ": " + std::strerror(error));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file named like ".target.XXXXXX.tmp" in the target's folder;
// the leading dot keeps it out of the folder's picture list meanwhile.
int createTemporary(const std::string& path, std::string& temporary) {
    const std::string folder = folderOf(path);
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::random_device seed;
    std::mt19937_64 random(seed());
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) {
            suffix += letters[random() % (sizeof letters - 1)];
        }
        // Keep the name within the usual 255-byte limit whatever the target's length.
        std::string shortName = name.size() > 200 ? name.substr(0, 200) : name;
        temporary = folder + "/." + shortName + "." + suffix + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            fail(path, "cannot create a temporary file in " + folder, errno);
        }
    }
    fail(path, "cannot create a temporary file in " + folder, EEXIST);
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
void keepPermissions(int fd, const std::string& path) {
    struct stat old;
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
    }
}

}  // namespace

void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::string temporary;
    const int fd = createTemporary(path, temporary);
    keepPermissions(fd, path);

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
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        step = "cannot replace";
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(path, step, error);
    }
}

}  // namespace folder2pdf
