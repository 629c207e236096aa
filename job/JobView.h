#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "job/JobRun.h"

namespace folder2pdf {

// What the job has to tell the user in the status bar's message field. The
// job names the event; each front end chooses the words, so that the
// window can speak Chinese while the command line speaks English.
enum class JobMessage {
    Count,    // a list was made (a folder listed, or pictures given); the count is its pages
    Done,     // the document is written; the count is its number of pages
    Stopped,  // a run was stopped and nothing written; the count is the pages it had done
};

// What the folder job needs of a front end: the folder picker, the rows of
// the list, the status bar's message field and progress bar, and the event
// loop. The window implements it with its widgets, the command line with
// its terminal, tests with a recorder. Rows are positions from 0; -1 means
// "no row".
class JobView {
  public:
    virtual ~JobView() = default;

    // A modal folder chooser, with the front end's prompt for a folder of
    // pictures, opened with `startFolder` selected; the chosen folder's full
    // path, or "" when the user cancels.
    virtual std::string chooseFolder(const std::string& startFolder) = 0;
    // The list has no rows afterwards.
    virtual void clearEntries() = 0;
    // Appends a row; the list never reorders its rows.
    virtual void addEntry(const std::string& text) = 0;
    // The row of a picture file that holds `pages` pages (more than one:
    // a TIFF's), in the front end's words.
    virtual std::string severalPagesRow(const std::string& name, std::size_t pages) {
        return name + " (" + std::to_string(pages) + " pages)";
    }
    // Row `row` shows `text`; no row moves.
    virtual void setEntry(int row, const std::string& text) = 0;
    // The selected row, or -1.
    virtual int selectedEntry() = 0;
    // Row `row` becomes the one selected row.
    virtual void selectEntry(int row) = 0;
    // The selected rows, ascending. A view of one selected row at most
    // needs nothing more.
    virtual std::vector<int> selectedEntries() {
        const int row = selectedEntry();
        return row < 0 ? std::vector<int>{} : std::vector<int>{row};
    }
    // `rows` (ascending, not empty) become the selection.
    virtual void selectEntries(const std::vector<int>& rows) { selectEntry(rows.front()); }
    // The row of a picture turned `quarterTurns` clockwise (1 to 3), `text`
    // being its row unturned.
    virtual std::string turnedRow(const std::string& text, int quarterTurns) {
        return text + " (turned " + std::to_string(quarterTurns * 90) + " degrees)";
    }
    // Replaces the text of the status bar's message field with the front
    // end's words for `message` and `count`.
    virtual void showMessage(JobMessage message, std::int32_t count) = 0;
    // The progress bar's range becomes low .. high.
    virtual void showProgressRange(std::int32_t low, std::int32_t high) = 0;
    // The progress bar shows `position` within its range.
    virtual void showProgress(std::int32_t position) = 0;
    // Processes every window event waiting now (painting, input), then returns.
    virtual void runPendingEvents() = 0;
    // Asks the user what to do about a picture that can't be made a page:
    // try it again, skip it, or stop the run. nullopt, the default, asks
    // nothing: the run fails with `error`, which the front end reports as
    // any other.
    virtual std::optional<FailureAnswer> askAboutPicture(const Error& error) {
        (void)error;
        return std::nullopt;
    }
};

}  // namespace folder2pdf
