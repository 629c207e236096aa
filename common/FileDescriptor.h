#pragma once

#include <unistd.h>

namespace folder2pdf {

// Owns a POSIX file descriptor and closes it when it goes, so that every
// way out of a function, an exception included, releases it. For
// descriptors whose close() result doesn't matter: a file that was written
// must be closed by hand and the result checked.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace folder2pdf
