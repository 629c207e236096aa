#include "pdf/TemporaryName.h"

#include "common/System.h"

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

TemporaryNames::TemporaryNames(const std::string& targetName)
    : stem_("." + targetName.substr(0, 200) + "."), random_(std::random_device{}()) {}

std::string TemporaryNames::next() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = stem_;
    for (int i = 0; i < 8; ++i) {
        name += letters[random_() % (sizeof letters - 1)];
    }
    return name + ".tmp";
}

}  // namespace folder2pdf
