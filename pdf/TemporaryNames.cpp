#include "pdf/TemporaryNames.h"

namespace folder2pdf {

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
