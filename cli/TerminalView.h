#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "job/JobView.h"

namespace folder2pdf {

// The folder job's view on a terminal. The folder "chosen" is the one named
// on the command line, given as a full path the way a folder dialog answers;
// the list is kept in memory; messages go to stdout, one per line; the
// progress bar becomes a line on stderr that is redrawn in place: picture k
// of n, its name, pages per second and the time left.
class TerminalView : public JobView {
  public:
    // `printMessages`: whether showMessage() prints; `drawProgress`: whether
    // the progress line is drawn (only sensible when stderr is a terminal).
    TerminalView(std::string folder, bool printMessages, bool drawProgress);
    ~TerminalView() override;

    std::string chooseFolder(const std::string& title, const std::string& startFolder) override;
    void clearEntries() override;
    void addEntry(const std::string& text) override;
    void setEntry(int row, const std::string& text) override;
    int selectedEntry() override;
    void selectEntry(int row) override;
    void showMessage(const std::string& text) override;
    void showProgressRange(std::int32_t low, std::int32_t high) override;
    void showProgress(std::int32_t position) override;
    void runPendingEvents() override;

    // The list's rows, in order.
    const std::vector<std::string>& rows() const { return rows_; }

  private:
    void drawLine(std::int32_t picture);
    void clearLine();

    std::string folder_;
    bool printMessages_;
    bool drawProgress_;
    std::vector<std::string> rows_;
    int selected_ = -1;
    std::int32_t low_ = 0;
    std::int32_t pictures_ = 0;
    std::chrono::steady_clock::time_point start_;
    bool lineShown_ = false;
};

}  // namespace folder2pdf
