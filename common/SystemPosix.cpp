#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "common/Path.h"
#include "common/System.h"
#include "common/Text.h"

namespace folder2pdf {
namespace {

[[noreturn]] void listingError(const std::string& folder, const std::error_code& error) {
    const ErrorReason reason =
        error.category() == std::generic_category() || error.category() == std::system_category()
            ? reasonOfErrno(error.value(), ErrorReason::CannotRead)
            : ErrorReason::CannotRead;
    throw Error(reason, folder, "cannot list the folder: " + error.message());
}

// Regular files and links to them, hidden names left out. status() follows
// symbolic links; a broken link or an entry that can't be examined is not
// a regular file.
// Whether a listing shows `entry`: not hidden, and (links followed) of `type`.
bool isListed(const std::filesystem::directory_entry& entry, std::filesystem::file_type type) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') {
        return false;
    }
    std::error_code statusError;
    return entry.status(statusError).type() == type;
}

// Opens the regular file at `path` for reading. O_NONBLOCK: opening a FIFO
// must not hang the run waiting for a writer; anything but a regular file
// is refused right after the open.
int openRegularFile(const std::string& path, struct stat& status) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(path, "cannot open", errno);
    }
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw fileError(path, "cannot read", error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw Error(ErrorReason::CannotRead, path, "not a regular file");
    }
    return fd;
}

// Reads into `data` until `size` bytes or the file's end; how many came.
std::size_t readUpTo(int fd, const std::string& path, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError(path, "cannot read", errno);
        }
        if (got == 0) {
            break;  // the file shrank since fstat: decode what is there
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace

void readWholeFile(const std::string& path, Bytes& bytes) {
    struct stat status;
    const FileDescriptor fd(openRegularFile(path, status));
    if (status.st_size > INT32_MAX) {
        throw Error(ErrorReason::TooLarge, path,
                    "file too large: " + groupedNumber(static_cast<std::uint64_t>(status.st_size)) +
                        " bytes pass the 2,147,483,647-byte limit");
    }
    resizeBytes(bytes, static_cast<std::size_t>(status.st_size));
    bytes.resize(readUpTo(fd.get(), path, bytes.data(), bytes.size()));
}

std::size_t readFileStart(const std::string& path, std::uint8_t* buffer, std::size_t size) {
    struct stat status;
    const FileDescriptor fd(openRegularFile(path, status));
    return readUpTo(fd.get(), path, buffer, size);
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
}

namespace {

// The names in `folder` of the entries of `type` that a listing shows.
std::vector<std::string> listEntries(const std::string& folder, std::filesystem::file_type type) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    if (error) {
        listingError(folder, error);
    }
    std::vector<std::string> names;
    for (const fs::directory_iterator end; entry != end;) {
        if (isListed(*entry, type)) {
            names.push_back(entry->path().filename().string());
        }
        entry.increment(error);
        if (error) {
            listingError(folder, error);
        }
    }
    return names;
}

}  // namespace

std::vector<std::string> listFolder(const std::string& folder) {
    return listEntries(folder, std::filesystem::file_type::regular);
}

std::vector<std::string> listSubfolders(const std::string& folder,
                                        std::vector<std::string>& linked) {
    std::vector<std::string> own;
    for (std::string& name : listEntries(folder, std::filesystem::file_type::directory)) {
        std::error_code error;
        const bool link = std::filesystem::is_symlink(folder + "/" + name, error);
        (link ? linked : own).push_back(std::move(name));
    }
    return own;
}

bool isFolder(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

bool debuggerAttached() {
    std::ifstream status("/proc/self/status");
    std::stringstream text;
    text << status.rdbuf();
    return tracerPid(text.str()) != 0;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileStamp{static_cast<std::uint64_t>(status.st_size),
                     std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
}

namespace {

OutputProblem problemOfKind(mode_t mode) {
    if (S_ISDIR(mode)) {
        return OutputProblem::Folder;
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return OutputProblem::Device;
    }
    if (S_ISFIFO(mode)) {
        return OutputProblem::Fifo;
    }
    if (S_ISSOCK(mode)) {
        return OutputProblem::Socket;
    }
    return OutputProblem::None;
}

}  // namespace

OutputProblem outputProblem(const std::string& path) {
    // lstat sees the link itself, stat what it leads to. A path that can't
    // be looked at (missing, or a folder on the way refused) has no problem
    // of its own: writing it fails with the system's reason.
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0) {
        return OutputProblem::None;
    }
    if (!S_ISLNK(link.st_mode)) {
        return problemOfKind(link.st_mode);
    }
    struct stat target;
    if (::stat(path.c_str(), &target) != 0) {
        // A loop of links leads nowhere either; a target that can't be
        // looked at is left to the write, which names the system's reason.
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? OutputProblem::DanglingLink
                                                                     : OutputProblem::None;
    }
    const OutputProblem problem = problemOfKind(target.st_mode);
    return problem == OutputProblem::None || problem == OutputProblem::Folder
               ? problem
               : OutputProblem::LinkToSpecial;
}

int processorCount() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

std::string programFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

std::size_t lastSeparator(const std::string& path) {
    return path.rfind('/');
}

std::string nameOfFolder(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    const std::string name = nameOf(path);
    return name.empty() ? "root" : name;
}

std::string shownPath(const std::string& path) {
    return path;
}

std::string absolutePath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path full = fs::absolute(fs::path(path), error);
    if (error) {
        return path;
    }
    std::string text = full.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

}  // namespace folder2pdf
