#pragma once

#include <initializer_list>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace folder2pdf {

// A file that replaces the one at `path` whole, or creates it, such that a
// failure at any point (a full disk, no permission, the process being
// killed) leaves the earlier file byte for byte as it was.
//
// The bytes go to a new temporary file beside the target, made when the
// object is made, never over another file, and where the system allows
// without a name or deleted by the system when the process ends however
// it ends (Linux: O_TMPFILE; Windows: a hidden file marked for deletion,
// so that a killed process leaves nothing); commit() flushes it to disk
// and renames it over the target. An object destroyed without the file in
// place removes its temporary file. A target that is a symbolic link is
// replaced by the new file; what it pointed to is not touched. Every
// failure throws Error naming the path and the reason (CannotWrite unless
// the system's reason says more).
//
// On Windows another program may hold the target open without sharing it
// (a PDF reader): the constructor then fails at once with InUse, and
// commit() waits out a hold that ends within 2 seconds (a virus scanner,
// an indexer), then fails with InUse keeping the finished
// temporary file, so that commit() called again tries only the rename
// again once the other program let go. Elsewhere nothing holds files that
// way.
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Appends `size` bytes.
    void write(const std::uint8_t* data, std::size_t size);
    // Flushes everything to disk and puts the file in place of the target.
    // Nothing may be written afterwards. After a failure with InUse, a
    // further call only tries again to put the complete file in place, with
    // the same short waits; it throws InUse again while the target is held.
    void commit();

    const std::string& path() const { return path_; }

  private:
    // The open temporary file as each system keeps it (AtomicFilePosix.cpp,
    // AtomicFileWindows.cpp), so that neither's calls and types show here.
    struct Temporary;
    // The rename of the flushed file over the target.
    void replace();

    std::string path_;
    std::unique_ptr<Temporary> temporary_;
};

// Removes the temporary file of the AtomicFile alive at this moment, if
// there is one, and tells whether there was. Async-signal-safe: for a signal
// handler that ends the process, so that ending it at any point of a run
// leaves the earlier file as it was and nothing beside it. (While the
// temporary file is being created, renamed or removed, the thread doing it
// holds signals back, so a handler never sees it half done.) One file at a
// time is covered; a second one alive at the same moment goes without.
bool removeTemporaryFile();

// Whether the AtomicFile alive at this moment is in commit(): flushing to
// disk and renaming, which can't be stopped part-way, only abandoned (by
// removeTemporaryFile() and ending the process). Async-signal-safe.
bool temporaryFileCommitting();

#ifndef _WIN32
// Makes each of `signalNumbers` (SIGTERM, SIGHUP, ...) end the program as it
// would have, after removeTemporaryFile(): the handler resets to the
// default action (SA_RESETHAND) and raises the signal again.
void removeTemporaryFileOn(std::initializer_list<int> signalNumbers);
#endif

}  // namespace folder2pdf
