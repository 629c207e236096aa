/* Preloaded into folder2pdf by the fault tests: the program stops itself
 * (SIGSTOP) at its first fsync(), when the document is in its temporary file
 * but not yet renamed over the target, so that a test can send a signal at
 * exactly that moment and then let it go on. With STALL_AT_WRITE set in the
 * environment it stops instead at its first write() to a file other than
 * the standard ones: while the pages are being written. With STALL_FSYNC_EIO
 * set, every fsync() fails with EIO instead, as on a failing disk. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

int fsync(int fd) {
    static int stopped;
    if (getenv("STALL_FSYNC_EIO") != NULL) {
        errno = EIO;
        return -1;
    }
    if (!stopped && getenv("STALL_AT_WRITE") == NULL) {
        stopped = 1;
        raise(SIGSTOP);
    }
    /* A union, as ISO C has no cast from an object pointer to a function pointer. */
    const union {
        void* symbol;
        int (*call)(int);
    } next = {dlsym(RTLD_NEXT, "fsync")};
    return next.call(fd);
}

ssize_t write(int fd, const void* data, size_t size) {
    static int stopped;
    if (!stopped && fd > 2 && getenv("STALL_AT_WRITE") != NULL) {
        stopped = 1;
        raise(SIGSTOP);
    }
    const union {
        void* symbol;
        ssize_t (*call)(int, const void*, size_t);
    } next = {dlsym(RTLD_NEXT, "write")};
    return next.call(fd, data, size);
}
