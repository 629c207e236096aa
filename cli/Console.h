#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace folder2pdf {

// What the command line asks of the system, one implementation per system
// (ConsolePosix.cpp, ConsoleWindows.cpp).

// Readies the process for a run: on POSIX a write past a file-size limit
// then fails with EFBIG, which the writer reports and cleans up after,
// instead of the signal killing the program with its temporary file left
// behind; on Windows the console takes UTF-8 and the progress line's
// escape sequences.
void prepareConsole();

// The command line's arguments in UTF-8, the program's name first. Windows
// hands them over in UTF-16, so that names outside the ANSI code page
// survive, and read as the window reads its own (commandLineArguments() in
// common/SystemWindows.h, which also mends "C:\My Album\" as cmd users
// write it); `argc` and `argv` serve on POSIX.
std::vector<std::string> commandArguments(int argc, char** argv);

// Writes UTF-8 `text` to `stream` (stdout or stderr). A Windows console
// gets it through the wide console API, so that every character shows
// whatever the console's code page; elsewhere, a pipe or a file on
// Windows among them, it goes out as UTF-8 bytes.
void printText(std::FILE* stream, const std::string& text);
// Rewrites the status line, the last line on stderr (a terminal), to
// `line`, which is narrower than the terminal: the earlier line goes,
// whatever its width. With the terminal's escape sequences where it acts
// on them (POSIX terminals; Windows consoles that took
// ENABLE_VIRTUAL_TERMINAL_PROCESSING and do act on it), otherwise, as in
// the consoles of Windows 7 and 8.1 and of Wine, by writing spaces over
// what is left of the earlier line and returning to the line's start.
void showStatusLine(const std::string& line);
// Removes the status line, the cursor left at the start of its line.
void clearStatusLine();

// Whether stdout is a terminal (a console window on Windows), where a
// document's bytes must not go.
bool outputIsTerminal();
// Copies the file at `path` to stdout byte for byte (binary mode on
// Windows); false when a read or write failed.
bool copyToOutput(const std::string& path);

// Whether stderr is a terminal (a console window on Windows), and how wide
// it is in columns (80 when that can't be told).
bool errorIsTerminal();
int terminalColumns();

// While it lives, Ctrl-C (SIGINT) sets `stop`, which asks the run to stop
// before its next picture; a second Ctrl-C, or one during the final flush and rename, ends
// the program at once with status 130, after removing the document's
// temporary file, so that the earlier document stays as it was. Ending
// the program in the other ways the system offers (SIGTERM, SIGHUP; closing
// the console window) also removes that temporary file first.
class StopSignals {
  public:
    explicit StopSignals(std::atomic<bool>& stop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
};

// The exit status of a run stopped by Ctrl-C: the shells' 128 + SIGINT.
constexpr int exitInterrupted = 130;

}  // namespace folder2pdf
