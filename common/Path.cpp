#include "common/Path.h"
#include "common/System.h"

#include <sstream>

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

long tracerPid(std::string_view statusText) {
    constexpr std::string_view key = "TracerPid:";
    std::size_t at = 0;
    while ((at = statusText.find(key, at)) != std::string_view::npos) {
        if (at == 0 || statusText[at - 1] == '\n') {
            break;
        }
        at += key.size();
    }
    if (at == std::string_view::npos) {
        return 0;
    }
    std::istringstream value{std::string(statusText.substr(at + key.size(), 32))};
    long pid = 0;
    if (!(value >> pid)) {
        return 0;
    }
    return pid;
}

}  // namespace folder2pdf
