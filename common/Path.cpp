#include "common/Path.h"

namespace folder2pdf {

std::string folderOf(const std::string& path) {
    const auto separator = lastSeparator(path);
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

std::string nameOf(const std::string& path) {
    const auto separator = lastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    const bool endsInSeparator = !folder.empty() && lastSeparator(folder) == folder.size() - 1;
    return folder + (endsInSeparator ? "" : "/") + name;
}

}  // namespace folder2pdf
