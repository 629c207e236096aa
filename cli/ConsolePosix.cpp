#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "cli/Console.h"
#include "pdf/AtomicFile.h"

namespace folder2pdf {
namespace {

// The run that Ctrl-C stops, if any, and how many Ctrl-Cs came. The
// handlers touch only these lock-free atomics and async-signal-safe calls.
std::atomic<std::atomic<bool>*> interruptibleJob{nullptr};
std::atomic<int> interrupts{0};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous {};

// The first Ctrl-C asks the job to stop before its next picture. Ending at
// once is left for a second Ctrl-C and for the final flush and rename, which
// can't stop part-way. The document's temporary file, alive for the whole
// run, is removed first, so the earlier document stays as it was.
extern "C" void onInterrupt(int) {
    std::atomic<bool>* job = interruptibleJob.load();
    if (job == nullptr || temporaryFileCommitting() || interrupts.fetch_add(1) > 0) {
        removeTemporaryFile();
        ::_exit(exitInterrupted);
    }
    job->store(true);
}

}  // namespace

void prepareConsole() {
    ::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void printText(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
}

void showStatusLine(const std::string& line) {
    printText(stderr, "\r" + line + "\033[K");
}

void clearStatusLine() {
    printText(stderr, "\r\033[K");
}

bool outputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool copyToOutput(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool good = true;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file)) {
        good = good && std::fwrite(buffer.data(), 1, n, stdout) == n;
    }
    good = good && !std::ferror(file) && std::fflush(stdout) == 0;
    std::fclose(file);
    return good;
}

bool errorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

StopSignals::StopSignals(std::atomic<bool>& stop) {
    interruptibleJob.store(&stop);
    interrupts.store(0);
    // SIGTERM and SIGHUP (the terminal closed) end the program as they would
    // have, the temporary file removed first.
    removeTemporaryFileOn({SIGTERM, SIGHUP});
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &previous, nullptr);
    interruptibleJob.store(nullptr);
}

}  // namespace folder2pdf
