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
};

}  // namespace folder2pdf
