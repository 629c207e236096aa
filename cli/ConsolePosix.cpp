#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "cli/Console.h"
#include "job/FolderJob.h"
#include "pdf/AtomicFile.h"

namespace folder2pdf {
namespace {

// The run that Ctrl-C stops, if any, and how many Ctrl-Cs came. The
// handlers touch only these lock-free atomics and async-signal-safe calls.
std::atomic<FolderJob*> interruptibleJob{nullptr};
std::atomic<int> interrupts{0};
static_assert(std::atomic<FolderJob*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[3]{};

// The first Ctrl-C asks the job to stop before its next picture. Ending at
// once is left for a second Ctrl-C and for the final flush and rename, which
// can't stop part-way. The document's temporary file, alive for the whole
// run, is removed first, so the earlier document stays as it was.
extern "C" void onInterrupt(int) {
    FolderJob* job = interruptibleJob.load();
    if (job == nullptr || temporaryFileCommitting() || interrupts.fetch_add(1) > 0) {
        removeTemporaryFile();
        ::_exit(exitInterrupted);
    }
    job->requestStop();
}

// SIGTERM and SIGHUP (the terminal closed) end the program as they would
// have, after removing the document's temporary file. SA_RESETHAND has put
// the default action back, which the raised signal meets once the handler
// returns.
extern "C" void onTermination(int signal) {
    removeTemporaryFile();
    ::raise(signal);
}

// SA_RESTART keeps reads and writes going.
void install(int signal, void (*handler)(int), int flags, struct sigaction& old) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, &old);
}

}  // namespace

void prepareConsole() {
    ::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
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

std::string programFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

StopSignals::StopSignals(FolderJob& job) {
    interruptibleJob.store(&job);
    interrupts.store(0);
    install(SIGINT, onInterrupt, SA_RESTART, previous[0]);
    install(SIGTERM, onTermination, SA_RESTART | SA_RESETHAND, previous[1]);
    install(SIGHUP, onTermination, SA_RESTART | SA_RESETHAND, previous[2]);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &previous[0], nullptr);
    ::sigaction(SIGTERM, &previous[1], nullptr);
    ::sigaction(SIGHUP, &previous[2], nullptr);
    interruptibleJob.store(nullptr);
}

}  // namespace folder2pdf
