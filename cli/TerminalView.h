#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "job/JobView.h"

namespace folder2pdf {

// The folder job's view on a terminal. The folder "chosen" is the one named
// on the command line, given as a full path the way a folder dialog answers;
// the list is kept in memory. When `onTerminal`, the progress bar becomes a
// line on stderr that is redrawn in place (picture k of n, its name, pages
// per second and the time left), and the end of a run a one-line summary in
// English on stderr; otherwise the view prints nothing. Standard output is
// left to the program's results.
class TerminalView : public JobView {
  public:
    TerminalView(std::string folder, bool onTerminal);
    ~TerminalView() override;

    std::string chooseFolder(const std::string& startFolder) override;
    void clearEntries() override;
    void addEntry(const std::string& text) override;
    void setEntry(int row, const std::string& text) override;
    int selectedEntry() override;
    void selectEntry(int row) override;
    void showMessage(JobMessage message, std::int32_t count) override;
    void showProgressRange(std::int32_t low, std::int32_t high) override;
    void showProgress(std::int32_t position) override;
    void runPendingEvents() override;

    // The list's rows, in order.
    const std::vector<std::string>& rows() const { return rows_; }

    // Makes the runs from now on one batch, a document for each of several
    // folders, on one progress line: it counts the pictures of all runs,
    // `total` in all, the next run's after the `before` of the earlier ones,
    // and names each picture `folder`/name. A run's own summary is left
    // out; finishBatch() gives the batch's.
    void continueBatch(const std::string& folder, std::int32_t before, std::int32_t total);
    // The batch's one-line summary: documents written, their pages, and the
    // folders that failed.
    void finishBatch(std::int32_t documents, std::int32_t pages, std::int32_t failed);

  private:
    void drawLine(std::int32_t picture);
    void clearLine();

    std::string folder_;
    bool onTerminal_;
    std::vector<std::string> rows_;
    int selected_ = -1;
    std::int32_t low_ = 0;
    std::int32_t pictures_ = 0;
    std::chrono::steady_clock::time_point start_;
    bool lineShown_ = false;
    bool batch_ = false;
    bool batchStarted_ = false;
    std::string batchFolder_;
    std::int32_t before_ = 0;  // pictures of the batch's earlier runs
};

}  // namespace folder2pdf
