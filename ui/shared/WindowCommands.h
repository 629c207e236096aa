#pragma once

#include <functional>

#include "job/FolderJob.h"
#include "ui/shared/ErrorText.h"

namespace folder2pdf {

// How a window runs the job's commands, the same in every window. Window
// events run inside a command (runPendingEvents), so a click may arrive
// while one is on the stack: it is refused, because the run relies on the
// list and the folder staying put. A close arriving the same way stops the
// run, and the window is released only once the command has returned, so
// that the job is not released under its own feet.
class WindowCommands {
  public:
    using ErrorReport = std::function<void(const ErrorText&)>;

    // True while a command is on the stack.
    bool running() const { return depth_ > 0; }

    // Runs `command` on `job` unless one is running already. A failure goes
    // to `report` as the window's error box, unless the window is closing.
    // Returns true when the window was closed during the command and is to
    // be released now.
    bool run(FolderJob& job, void (FolderJob::*command)(), const ErrorReport& report);

    // The window was closed while a command runs: stops the run.
    void closeDuringCommand(FolderJob* job);

  private:
    int depth_ = 0;              // commands on the stack: 1 while one runs
    bool closePending_ = false;  // closed during a command
};

}  // namespace folder2pdf
