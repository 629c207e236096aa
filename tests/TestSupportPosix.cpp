// The parts of the test support that differ between systems: POSIX.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "TestSupport.h"

namespace testsupport {

const bool onWindows = false;

pid_t spawn(const Names& argv, int out, int err, const std::string& preload) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        if (!preload.empty()) {
            // A sanitizer runtime insists on coming first unless told otherwise.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options =
                std::string("verify_asan_link_order=0") + (asan ? std::string(":") + asan : "");
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
            ::setenv("LD_PRELOAD", preload.c_str(), 1);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

CommandResult run(const Names& argv, const RunOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    int errWrite = errPipe[1];
    if (options.terminal) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        errPipe[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (errPipe[0] < 0 || ::grantpt(errPipe[0]) != 0 || ::unlockpt(errPipe[0]) != 0 ||
            ::ptsname_r(errPipe[0], name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 200;
        ::ioctl(errPipe[0], TIOCSWINSZ, &size);
        errWrite = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    const pid_t child = spawn(argv, outPipe[1], errWrite);
    ::close(outPipe[1]);
    ::close(errWrite);
    CommandResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    bool interrupted = options.interruptAt.empty();
    int open = 2;
    while (open > 0) {
        ::poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got <= 0) {  // a terminal's master reads EIO once the program is gone
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                }
            }
        }
        if (!interrupted && result.err.find(options.interruptAt) != std::string::npos) {
            ::kill(child, SIGINT);
            interrupted = true;
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return result;
}

void whileUnwritable(const std::string& document, const std::function<void()>& steps) {
    namespace fs = std::filesystem;
    const fs::path folder = u8path(document).parent_path();
    fs::permissions(folder.parent_path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
    // Root writes through permission bits.
    const bool root = ::geteuid() == 0;
    if (root && ::seteuid(65534) != 0) {
        throw std::runtime_error("cannot run as nobody");
    }
    steps();
    if (root && ::seteuid(0) != 0) {
        throw std::runtime_error("cannot run as root again");
    }
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
}

std::thread holdAsReader(const std::string&, int) {
    return std::thread();
}

bool hideFile(const std::string&) {
    return false;
}

}  // namespace testsupport
