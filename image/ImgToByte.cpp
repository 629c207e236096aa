#include "image/ImgToByte.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/FileDescriptor.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

namespace folder2pdf {
namespace {}  // namespace

void ImgToByte::readFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not hang the run waiting for a writer;
    // anything but a regular file is refused right after the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(path, "cannot open", errno);
    }
    const FileDescriptor guard(fd);
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        throw fileError(path, "cannot read", errno);
    }
    if (!S_ISREG(status.st_mode)) {
        throw Error(ErrorKind::FileError, ErrorReason::CannotRead, path, "not a regular file");
    }
    if (status.st_size > INT32_MAX) {
        throw Error(ErrorKind::Overflow, ErrorReason::TooLarge, path,
                    "file too large: " + std::to_string(status.st_size) +
                        " bytes pass the 2,147,483,647-byte limit");
    }
    resizeBytes(fileBuffer_, static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < fileBuffer_.size()) {
        const ssize_t got = ::read(fd, fileBuffer_.data() + done, fileBuffer_.size() - done);
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
    fileBuffer_.resize(done);
}

void ImgToByte::load(const std::string& path, Bytes& imgData) {
    readFile(path);
    loadBytes(fileBuffer_.data(), fileBuffer_.size(), path, imgData);
}

void ImgToByte::loadBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                          Bytes& imgData) {
    if (size == 0) {
        throw Error(ErrorKind::SubscriptOutOfRange, ErrorReason::Damaged, name,
                    "subscript out of range: the file is empty");
    }
    GrayRaster raster(imgData, &turnScratch_);
    try {
        decodePicture(data, size, raster);
    } catch (const Error& error) {
        throw error.withFile(name);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorKind::OutOfMemory, ErrorReason::OutOfMemory, name,
                    "out of memory while decoding");
    }
    width_ = raster.width();
    height_ = raster.height();
}

}  // namespace folder2pdf
