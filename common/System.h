#pragma once

#include <string>
#include <vector>

#include "common/Checked.h"

namespace folder2pdf {

// What the engine asks of the operating system, one implementation per
// system (SystemPosix.cpp, SystemWindows.cpp); nothing above these files
// knows which system it runs on. Paths are UTF-8 everywhere in the program,
// with "/" between names; Windows also takes "\" and drive letters, and
// the Windows side converts to UTF-16 only at the call.

// Reads the whole regular file at `path` into `bytes`, reusing its
// capacity. Throws Error: FileError "path: cannot open: reason" (also for
// a missing file or a dangling link), "path: not a regular file" (a folder,
// a FIFO, a device; opening never waits for a writer), "path: cannot read:
// reason"; Overflow for a file larger than 2 GiB. A file that shrinks while
// it is read gives what was there.
void readWholeFile(const std::string& path, Bytes& bytes);

// The names of the files in `folder` that are regular files or links to
// them, in the order the system gives them: sub-folders, links to anything
// else and hidden files (a name starting with "." and, on Windows, the
// hidden attribute) left out. Throws Error (FileError) "folder: cannot list
// the folder: reason".
std::vector<std::string> listFolder(const std::string& folder);

// How many processors the program can run on, at least 1.
int processorCount();

// Where the last separator between names in `path` is ("/", and on
// Windows also "\"), or std::string::npos when there is none.
std::size_t lastSeparator(const std::string& path);

// `path` as a full path without "." or ".." parts and without a trailing
// separator (except for a root such as "/" or "C:/"), separators written
// "/"; `path` unchanged when the current folder can't be found.
std::string absolutePath(const std::string& path);

}  // namespace folder2pdf
