#include "common/Error.h"

#include <cerrno>
#include <cstring>

#include "common/Path.h"
#include "common/Text.h"

namespace folder2pdf {

Error fileError(const std::string& path, const std::string& what, int errorNumber,
                ErrorReason otherwise) {
    return Error(reasonOfErrno(errorNumber, otherwise), path,
                 what + ": " + std::strerror(errorNumber));
}

std::string shownMessage(const Error& error) {
    if (error.file().empty()) {
        return error.what();
    }
    std::string detail = error.detail();
    const std::string folder = folderOf(error.file());
    if (const auto at = detail.find(folder); folder != "." && at != std::string::npos) {
        detail.replace(at, folder.size(), shownFile(folder));
    }
    return shownFile(error.file()) + ": " + detail;
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
