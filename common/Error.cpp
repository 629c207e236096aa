#include "common/Error.h"

#include <cerrno>
#include <cstring>

namespace folder2pdf {

Error fileError(const std::string& path, const std::string& what, int errorNumber,
                ErrorReason otherwise) {
    return Error(ErrorKind::FileError, reasonOfErrno(errorNumber, otherwise), path,
                 what + ": " + std::strerror(errorNumber));
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

ErrorReason Error::reasonOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return ErrorReason::TooLarge;
        case ErrorKind::OutOfMemory:
            return ErrorReason::OutOfMemory;
        case ErrorKind::FileError:
            return ErrorReason::CannotRead;
        case ErrorKind::SubscriptOutOfRange:
        case ErrorKind::DecodeError:
            break;
    }
    return ErrorReason::Damaged;
}

ErrorReason reasonOfErrno(int error, ErrorReason otherwise) {
    switch (error) {
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return ErrorReason::DiskFull;
        case EFBIG:  // past the file system's or the process's file size limit
            return ErrorReason::TooLarge;
        case EACCES:
        case EPERM:
        case EROFS:
            return ErrorReason::PermissionDenied;
        case ENOMEM:
            return ErrorReason::OutOfMemory;
        default:
            return otherwise;
    }
}

}  // namespace folder2pdf
