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

// The one exception type of the core. Front ends catch it at the command
// boundary and show what(), which names the file and the reason.
class Error : public std::runtime_error {
  public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    ErrorKind kind() const { return kind_; }

    // The same error with "path: " in front, for errors raised below the
    // level that knows which file is being worked on.
    Error withFile(const std::string& path) const { return Error(kind_, path + ": " + what()); }

  private:
    ErrorKind kind_;
};

// A FileError that reads "path: what: reason", the reason being the system's
// text for `errorNumber` (an errno value), e.g. "a.png: cannot open: No such
// file or directory".
Error fileError(const std::string& path, const std::string& what, int errorNumber);

// Short English name of a kind ("overflow", "decode error", ...).
const char* kindName(ErrorKind kind);

}  // namespace folder2pdf
