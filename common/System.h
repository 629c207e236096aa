#pragma once

#include <cstdint>
#include <optional>
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

// When the file at `path` (a link followed) was last modified: nanoseconds
// since 1970-01-01 00:00 UTC; nullopt when there is no such file or the
// system won't say.
std::optional<std::int64_t> modificationTime(const std::string& path);

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

// What makes a file the same file whatever path leads to it: the device
// (on Windows the volume's serial number) and the file's number on it
// (st_dev and st_ino; the file index). A link and its target, two hard
// links, "a.jpg" and "./a.jpg" have equal identities.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file or folder at `path`, links followed; nullopt
// when there is none (nothing there, a dangling link, a refused look).
std::optional<FileIdentity> fileIdentity(const std::string& path);

// What tells that a file changed: its size in bytes and when it was last
// written, in the system's own ticks (nanoseconds since 1970 on POSIX, 100
// nanoseconds since 1601 on Windows), only ever compared for equality.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path`, links followed; nullopt when there is
// none (nothing there, a dangling link, a refused look).
std::optional<FileStamp> fileStamp(const std::string& path);

// Why a document must not be written at `path`, which a writer would
// otherwise replace or write through.
enum class OutputProblem {
    None,           // nothing there yet, or a regular file (or a link to one)
    Folder,         // a folder, or a link to one
    Device,         // a character or block device (/dev/null, a console)
    Fifo,           // a named pipe
    Socket,         // a Unix domain socket
    DanglingLink,   // a link to nothing: writing through it would make a file elsewhere
    LinkToSpecial,  // a link to a device, a pipe or a socket
    ReservedName,   // Windows: a device's name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
                    // CONIN$, CONOUT$) as the last name, with or without an extension
};

// What stands in the way of writing a document at `path`; looking never
// opens a device or a pipe for reading or writing. A name reserved for a
// device on Windows is reported before anything is looked up, so that the
// caller may still decide to allow NUL.
OutputProblem outputProblem(const std::string& path);

// The folder for the user's temporary files, "/" between names.
std::string temporaryFolder();
// Removes the file at `path` if it is there; quietly does nothing otherwise.
void removeFile(const std::string& path);

// How many processors the program can run on, at least 1.
int processorCount();

// The folder the running program's file lies in, as a full path with "/"
// between names and no separator at the end; "" when the system can't tell.
std::string programFolder();

}  // namespace folder2pdf
