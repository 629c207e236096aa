#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace folder2pdf {

// A file that replaces the one at `path` whole, or creates it, such that a
// failure at any point (a full disk, no permission, the process being
// killed) leaves the earlier file byte for byte as it was.
//
// The bytes go to a new temporary file beside the target, created
// exclusively (so no other file is ever overwritten) when the object is
// made; commit() flushes it to disk and renames it over the target. An
// object destroyed without a successful commit() removes its temporary
// file. A target that is a symbolic link is replaced by the new file; what
// it pointed to is not touched. Every failure throws Error naming the path
// and the reason (CannotWrite unless the system's reason says more).
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Appends `size` bytes.
    void write(const std::uint8_t* data, std::size_t size);
    // Flushes everything to disk and puts the file in place of the target.
    // Nothing may be written afterwards.
    void commit();

    const std::string& path() const { return path_; }

  private:
    // The open temporary file as each system keeps it (AtomicFilePosix.cpp,
    // AtomicFileWindows.cpp), so that neither's calls and types show here.
    struct Temporary;

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

}  // namespace folder2pdf
