#pragma once

#include <stdexcept>
#include <string>

namespace folder2pdf {

// What went wrong, in the terms the user's error message uses.
enum class ErrorKind {
    Overflow,             // a count or size left the signed 32-bit range
    SubscriptOutOfRange,  // an index outside its array, e.g. an empty picture file
    OutOfMemory,          // an allocation failed
    FileError,            // the file system refused a read, write or listing
    DecodeError,          // picture bytes that no decoder accepts
};

// What failed, as a person who doesn't read the technical message needs to
// hear it (the window's error box says it in Chinese). Finer than the kind:
// set where the error is raised, otherwise derived from the kind.
enum class ErrorReason {
    CannotRead,        // a picture or folder the system would not give us
    NotAPicture,       // none of BMP, GIF, JPEG and PNG
    Damaged,           // a picture whose bytes are broken, cut short or empty
    TooLarge,          // a picture or document past the 32-bit limits
    CannotWrite,       // the document could not be written
    DiskFull,          // ... because the disk or a quota is full
    PermissionDenied,  // the system refused access to a file or folder
    OutOfMemory,
};

// The one exception type of the core. Front ends catch it at the command
// boundary and show what(), which names the file and the reason.
class Error : public std::runtime_error {
  public:
    Error(ErrorKind kind, const std::string& message)
        : Error(kind, reasonOf(kind), std::string(), message) {}
    Error(ErrorKind kind, ErrorReason reason, const std::string& message)
        : Error(kind, reason, std::string(), message) {}
    // An error about the file at `file`: what() is "file: detail".
    Error(ErrorKind kind, ErrorReason reason, const std::string& file, const std::string& detail)
        : std::runtime_error(file.empty() ? detail : file + ": " + detail),
          kind_(kind),
          reason_(reason),
          file_(file) {}

    ErrorKind kind() const { return kind_; }
    ErrorReason reason() const { return reason_; }
    // The file or folder the error is about; empty when none was named.
    const std::string& file() const { return file_; }
    // The technical reason alone: what() without the file in front.
    std::string detail() const {
        return file_.empty() ? what() : std::string(what()).substr(file_.size() + 2);
    }

    // The same error with "path: " in front, for errors raised below the
    // level that knows which file is being worked on.
    Error withFile(const std::string& path) const { return Error(kind_, reason_, path, what()); }

    // The reason an error of this kind has when its raiser gives none.
    static ErrorReason reasonOf(ErrorKind kind);

  private:
    ErrorKind kind_;
    ErrorReason reason_;
    std::string file_;
};

// A FileError that reads "path: what: reason", the reason being the system's
// text for `errorNumber` (an errno value), e.g. "a.png: cannot open: No such
// file or directory". Its ErrorReason comes from the errno value, or is
// `otherwise` (what the caller was doing: reading or writing).
Error fileError(const std::string& path, const std::string& what, int errorNumber,
                ErrorReason otherwise = ErrorReason::CannotRead);

// Short English name of a kind ("overflow", "decode error", ...).
const char* kindName(ErrorKind kind);

// The reason for a failed system call's errno value: a full disk or quota,
// a file grown past a size limit, a refused permission or a read-only file
// system, exhausted memory, or `otherwise`.
ErrorReason reasonOfErrno(int error, ErrorReason otherwise);

}  // namespace folder2pdf
