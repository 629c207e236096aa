#include "common/Error.h"

#include <cstring>

namespace folder2pdf {

Error fileError(const std::string& path, const std::string& what, int errorNumber) {
    return Error(ErrorKind::FileError, path + ": " + what + ": " + std::strerror(errorNumber));
}

const char* kindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return "overflow";
        case ErrorKind::SubscriptOutOfRange:
            return "subscript out of range";
        case ErrorKind::OutOfMemory:
            return "out of memory";
        case ErrorKind::FileError:
            return "file error";
        case ErrorKind::DecodeError:
            return "decode error";
    }
    return "error";
}

}  // namespace folder2pdf
