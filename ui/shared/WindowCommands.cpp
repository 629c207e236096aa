#include "ui/shared/WindowCommands.h"

#include <exception>

namespace folder2pdf {

bool WindowCommands::run(FolderJob& job, void (FolderJob::*command)(), const ErrorReport& report) {
    if (running()) {
        return false;
    }
    ++depth_;
    try {
        (job.*command)();
    } catch (const std::exception& error) {
        if (!closePending_) {
            report(errorText(error));
        }
    }
    --depth_;
    return !running() && closePending_;
}

void WindowCommands::closeDuringCommand(FolderJob* job) {
    closePending_ = true;
    if (job) {
        job->requestStop();
    }
}

}  // namespace folder2pdf
