/* Preloaded into folder2pdf by the fault tests: the program stops itself
 * (SIGSTOP) at its first fsync(), when the document is in its temporary file
 * but not yet renamed over the target, so that a test can send a signal at
 * exactly that moment and then let it go on. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <string.h>

int fsync(int fd) {
    static int stopped;
    if (!stopped) {
        stopped = 1;
        raise(SIGSTOP);
    }
    /* ISO C has no cast from an object pointer to a function pointer. */
    void* symbol = dlsym(RTLD_NEXT, "fsync");
    int (*next)(int);
    memcpy(&next, &symbol, sizeof next);
    return next(fd);
}
