#pragma once

#include <cstddef>
#include <cstdint>
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
// it pointed to is not touched. Every failure throws Error (FileError)
// naming the path and the reason.
//
// The open file is an integer handle, so that each platform's .cpp keeps
// its own calls and types to itself.
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Appends `size` bytes.
    void write(const std::uint8_t* data, std::size_t size);
    // Moves the end `size` bytes further without writing them: they read as
    // zeros and, where the file system keeps holes, take no room. Lets tests
    // and tools make a very large file cheaply.
    void skip(std::uint64_t size);
    // Flushes everything to disk and puts the file in place of the target.
    // Nothing may be written afterwards.
    void commit();

    const std::string& path() const { return path_; }

  private:
    // Closes and removes the temporary file, keeping errno as it was.
    void discard();

    std::string path_;
    std::string temporary_;  // its name inside the target's folder
    std::intptr_t folder_ = -1;
    std::intptr_t file_ = -1;  // -1 once committed or discarded
    std::uint64_t written_ = 0;
    std::uint64_t writtenBehind_ = 0;  // bytes already handed to the disk's write-out
    bool recorded_ = false;            // whether removeTemporaryFile() knows of it
};

// Replaces the file at `path` whole with `size` bytes, or creates it, with
// the guarantees of AtomicFile.
void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

// Removes the temporary file of the AtomicFile alive at this moment, if
// there is one, and tells whether there was. Async-signal-safe: for a signal
// handler that ends the process, so that ending it at any point of a run
// leaves the earlier file as it was and nothing beside it. (While the
// temporary file is being created, renamed or removed, the thread doing it
// holds signals back, so a handler never sees it half done.) One file at a
// time is covered; a second one alive at the same moment goes without.
bool removeTemporaryFile();

// Makes the signals that end a process (SIGTERM, SIGHUP, SIGINT) remove
// that temporary file first, then end it as they would have: for a program
// that gives them no other meaning, such as the window, which a session's end
// or the terminal that started it may close at any moment. Nothing on
// Windows, which sends no such signals.
void removeTemporaryFileOnTermination();

// Whether the AtomicFile alive at this moment is in commit(): flushing to
// disk and renaming, which can't be stopped part-way, only abandoned (by
// removeTemporaryFile() and ending the process). Async-signal-safe.
bool temporaryFileCommitting();

}  // namespace folder2pdf
