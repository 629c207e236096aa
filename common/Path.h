#pragma once

#include <cstddef>
#include <string>

namespace folder2pdf {

// Paths as the program spells them: UTF-8, "/" between names, and on
// Windows also "\" and drive letters. lastSeparator(), absolutePath(),
// nameOfFolder() and shownPath() follow the system's rules
// (SystemPosix.cpp, SystemWindows.cpp); the others are built on them
// (Path.cpp).

// Where the last separator between names in `path` is ("/", and on
// Windows also "\"), or std::string::npos when there is none.
std::size_t lastSeparator(const std::string& path);

// The folder part of `path`: "." for a bare name, the root for a name in it.
std::string folderOf(const std::string& path);

// The last name of `path`, after its last separator.
std::string nameOf(const std::string& path);

// `name` in `folder`: one separator between them, none added after a
// folder that ends in one (a root such as "/" or "C:/").
std::string joinPath(const std::string& folder, const std::string& name);

// The name a folder's document is given: the folder's last name, trailing
// separators ignored ("C:/My Album/" gives "My Album"). A root has no last
// name, so it gives what people call it: a drive's root its letter ("D:/",
// "D:" give "D"), a share's root its share ("//srv/share" gives "share"),
// the system's root "/" gives "root"; never "".
std::string nameOfFolder(const std::string& folder);

// `path` as the system shows paths to people: on Windows with "\" between
// names, elsewhere as it is. For output only: the program keeps "/" inside.
std::string shownPath(const std::string& path);

// `path` as a full path without "." or ".." parts and without a trailing
// separator (except for a root such as "/" or "C:/"), separators written
// "/"; `path` unchanged when the current folder can't be found.
std::string absolutePath(const std::string& path);

}  // namespace folder2pdf
