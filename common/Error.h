#pragma once

#include <stdexcept>
#include <string>

namespace folder2pdf {

// What failed, as a person who doesn't read the technical message needs to
// hear it (the window's error box says it in Chinese): the one classification
// an Error carries, set where it is raised.
enum class ErrorReason {
    CannotRead,        // a picture or folder the system would not give us
    NotAPicture,       // none of BMP, GIF, JPEG and PNG
    Damaged,           // a picture whose bytes are broken, cut short or empty
    TooLarge,          // a count or size past the 32-bit limits, a document past its limit
    CannotWrite,       // the document could not be written
    DiskFull,          // ... because the disk or a quota is full
    PermissionDenied,  // the system refused access to a file or folder
    InUse,             // another program holds the document open and won't share it (Windows)
    OutOfMemory,
};

// The one exception type of the core. Front ends catch it at the command
// boundary and show what(), which names the file and the reason.
class Error : public std::runtime_error {
  public:
    Error(ErrorReason reason, const std::string& message) : Error(reason, std::string(), message) {}
    // An error about the file at `file`: what() is "file: detail".
    Error(ErrorReason reason, const std::string& file, const std::string& detail)
        : std::runtime_error(file.empty() ? detail : file + ": " + detail),
          reason_(reason),
          file_(file) {}

    ErrorReason reason() const { return reason_; }
    // The file or folder the error is about; empty when none was named.
    const std::string& file() const { return file_; }
    // The technical reason alone: what() without the file in front.
    std::string detail() const {
        return file_.empty() ? what() : std::string(what()).substr(file_.size() + 2);
    }

    // The same error with "path: " in front, for errors raised below the
    // level that knows which file is being worked on.
    Error withFile(const std::string& path) const { return Error(reason_, path, what()); }

  private:
    ErrorReason reason_;
    std::string file_;
};

// An error that reads "path: what: reason", the reason being the system's
// text for `errorNumber` (an errno value), e.g. "a.png: cannot open: No such
// file or directory". Its ErrorReason comes from the errno value, or is
// `otherwise` (what the caller was doing: reading or writing).
Error fileError(const std::string& path, const std::string& what, int errorNumber,
                ErrorReason otherwise = ErrorReason::CannotRead);

// What an error says, as the front ends show it: what(), with its file's
// path and that path's folder, where the detail names it, spelled as the
// system shows paths (shownPath(): "\" on Windows).
std::string shownMessage(const Error& error);

// The reason for a failed system call's errno value: a full disk or quota,
// a file grown past a size limit, a refused permission or a read-only file
// system, exhausted memory, or `otherwise`.
ErrorReason reasonOfErrno(int error, ErrorReason otherwise);

}  // namespace folder2pdf
