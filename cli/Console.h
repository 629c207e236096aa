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
// survive; `argc` and `argv` serve on POSIX. On Windows a trailing '"',
// which no file name can hold, is dropped: cmd users write "C:\My Album\",
// whose "\"" the system's rules read as a quote inside the argument.
std::vector<std::string> commandArguments(int argc, char** argv);

// Writes UTF-8 `text` to `stream` (stdout or stderr). A Windows console
// gets it through the wide console API, so that every character shows
// whatever the console's code page; elsewhere, a pipe or a file on
// Windows among them, it goes out as UTF-8 bytes.
void printText(std::FILE* stream, const std::string& text);
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
