#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "job/JobRun.h"

namespace folder2pdf {

// A run's events on a terminal. When `onTerminal`, a line on stderr is
// redrawn in place (picture k of n, its name, pages per second and the time
// left), and the end of a run is a one-line summary in English on stderr.
// A picture that fails is named on stderr and left out when `keepGoing`;
// else the run stops with its error. Standard output is left to the
// program's results.
class ConsoleProgress : public JobEvents {
  public:
    ConsoleProgress(bool onTerminal, bool keepGoing);
    ~ConsoleProgress() override;

    // The next run's pictures, for the progress line's names.
    void setPictures(const std::vector<Picture>& pictures);
    // Makes the runs from now on one batch, a document for each of several
    // folders, on one progress line: it counts the pictures of all runs,
    // `total` in all, the next run's after the `before` of the earlier ones,
    // and names each picture `folder`/name. A run's own summary is left
    // out; finishBatch() gives the batch's.
    void continueBatch(const std::string& folder, std::int32_t before, std::int32_t total);
    // The batch's one-line summary: documents written, their pages, and the
    // folders that failed.
    void finishBatch(std::int32_t documents, std::int32_t pages, std::int32_t failed);
    // Clears the progress line, so that another message can take its place.
    void clearLine();

    // What Ctrl-C sets.
    std::atomic<bool>& stopFlag() { return stop_; }

    void started(std::int32_t pictures) override;
    void pageWritten(std::int32_t index, std::int64_t bytes) override;
    FailureAnswer pictureFailed(std::int32_t index, const Error& error) override;
    void finished(const JobResult& result) override;
    void stopped(std::int32_t pagesDone) override;
    bool stopRequested() override { return stop_.load(); }

  private:
    void drawLine(std::int32_t picture);

    bool onTerminal_;
    bool keepGoing_;
    std::atomic<bool> stop_{false};
    std::vector<std::string> names_;
    std::int32_t pictures_ = 0;
    std::chrono::steady_clock::time_point start_;
    bool lineShown_ = false;
    bool batch_ = false;
    bool batchStarted_ = false;
    std::string batchFolder_;
    std::int32_t before_ = 0;  // pictures of the batch's earlier runs
};

}  // namespace folder2pdf
