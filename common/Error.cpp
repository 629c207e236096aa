#include "common/Error.h"

#include <cerrno>
#include <cstring>

namespace folder2pdf {

Error fileError(const std::string& path, const std::string& what, int errorNumber,
                ErrorReason otherwise) {
    return Error(reasonOfErrno(errorNumber, otherwise), path,
                 what + ": " + std::strerror(errorNumber));
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
