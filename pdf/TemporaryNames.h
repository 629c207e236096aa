#pragma once

#include <random>
#include <string>

namespace folder2pdf {

// Names for a temporary file beside the file named `targetName`, each call a
// new random one: ".target.XXXXXXXX.tmp". The leading dot keeps it out of
// the folder's picture list while it is written; a name near the 255-byte
// limit is shortened to leave room for the additions.
class TemporaryNames {
  public:
    explicit TemporaryNames(const std::string& targetName);
    std::string next();

  private:
    std::string stem_;
    std::mt19937_64 random_;
};

}  // namespace folder2pdf
