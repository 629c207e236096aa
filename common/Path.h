#pragma once

#include <cstddef>
#include <string>

namespace folder2pdf {

// Paths as the program spells them: UTF-8, "/" between names, and on
// Windows also "\" and drive letters. lastSeparator() and absolutePath()
// follow the system's rules (SystemPosix.cpp, SystemWindows.cpp); the
// others are built on them (Path.cpp).

// Where the last separator between names in `path` is ("/", and on
// Windows also "\"), or std::string::npos when there is none.
std::size_t lastSeparator(const std::string& path);

// The folder part of `path`: "." for a bare name, the root for a name in it.
std::string folderOf(const std::string& path);

// The last name of `path`, after its last separator.
std::string nameOf(const std::string& path);

// `path` as a full path without "." or ".." parts and without a trailing
// separator (except for a root such as "/" or "C:/"), separators written
// "/"; `path` unchanged when the current folder can't be found.
std::string absolutePath(const std::string& path);

}  // namespace folder2pdf
