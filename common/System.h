#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Checked.h"

namespace folder2pdf {

// What the engine asks of the operating system, one implementation per
// system (SystemPosix.cpp, SystemWindows.cpp); nothing above these files
// knows which system it runs on. Paths are UTF-8 everywhere in the program,
// with "/" between names (common/Path.h); Windows also takes "\" and drive
// letters, and the Windows side converts to UTF-16 only at the call.

// Reads the whole regular file at `path` into `bytes`, reusing its
// capacity. Throws Error naming the file: "path: cannot open: reason"
// (also for a missing file or a dangling link), "path: not a regular file"
// (a folder, a FIFO, a device; opening never waits for a writer), "path:
// cannot read: reason", all CannotRead unless the system's reason says
// more; TooLarge for a file larger than 2 GiB. A file that shrinks while it
// is read gives what was there.
void readWholeFile(const std::string& path, Bytes& bytes);

// Reads up to `size` bytes from the start of the regular file at `path`
// into `buffer` and returns how many there were: fewer only when the file
// is shorter. For a look at a file's kind without reading all of it.
// Throws Error as readWholeFile() does.
std::size_t readFileStart(const std::string& path, std::uint8_t* buffer, std::size_t size);

// The names of the files in `folder` that are regular files or links to
// them, in the order the system gives them: sub-folders, links to anything
// else and hidden files (a name starting with "." and, on Windows, the
// hidden attribute) left out. Throws Error "folder: cannot list the folder:
// reason".
std::vector<std::string> listFolder(const std::string& folder);

// Whether `path` names a folder (or a link to one) that exists now.
bool isFolder(const std::string& path);

// The names of the sub-folders of `folder` that are its own, in the order
// the system gives them, hidden ones left out as listFolder() leaves out
// hidden files. Links to folders (junctions on Windows) are not its own:
// they may lead anywhere, the folder itself or its parent among them, so
// their names go to `linked` instead. Throws Error "folder: cannot list
// the folder: reason".
std::vector<std::string> listSubfolders(const std::string& folder,
                                        std::vector<std::string>& linked);

// Whether a debugger is attached to the process now (Linux: a tracer in
// /proc/self/status; Windows: IsDebuggerPresent).
bool debuggerAttached();
// The tracer's process id from the text of /proc/<pid>/status: the number
// after "TracerPid:", 0 when the line is missing or unreadable.
long tracerPid(std::string_view statusText);

// How many processors the program can run on, at least 1.
int processorCount();

// The folder the running program's file lies in, as a full path with "/"
// between names and no separator at the end; "" when the system can't tell.
std::string programFolder();

}  // namespace folder2pdf
