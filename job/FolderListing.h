#pragma once

#include <string>
#include <vector>

namespace folder2pdf {

// The names a folder holds that could be pictures: regular files (symbolic
// links to regular files count), no sub-folders, no hidden entries (names
// starting with "."), in natural order: ASCII letter case ignored, runs of
// digits compared by value ("page2" before "page10"), ties broken by the
// plain bytes so that the order is total. Throws Error naming the folder
// when it can't be listed.
std::vector<std::string> listFolderFiles(const std::string& folder);

// The natural order of listFolderFiles(): true when `a` comes before `b`.
bool naturalLess(const std::string& a, const std::string& b);

// The picture filter: whether `name` contains ".gif", ".bmp", ".jpg" or
// ".png" anywhere in it, ASCII letter case ignored.
bool isPictureName(const std::string& name);

}  // namespace folder2pdf
