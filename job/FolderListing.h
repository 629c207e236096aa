#pragma once

#include <cstddef>
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

// The picture filter: whether `name` contains ".gif", ".bmp", ".jpg",
// ".png", ".jpeg" or ".jfif" anywhere in it, ASCII letter case ignored.
bool isPictureName(const std::string& name);

// The names the listing takes, as a file chooser's patterns ("*.jpg").
std::vector<std::string> picturePatterns();

// A name of a folder's listing that pickPictures() left out, and why.
struct LeftOut {
    std::string name;
    std::string reason;
};

// A picture pickPictures() took, and how many pages it holds (a TIFF's
// pages; 1 for every other picture).
struct PickedPicture {
    std::string name;
    std::size_t pages;
};

// The pictures among `names`, the files listed in `folder`, in their
// order: the names isPictureName() takes, except `document` (the folder's
// own PDF, compared with ASCII letter case ignored) and names whose file
// starts with bytes no picture starts with (a shortcut, a PDF, a text
// file), which go to `leftOut` with the reason. Only each file's first
// sniffBytes are read (and a TIFF whole, for its pages), each file opened
// once; a file that can't be read is kept, for the run to report why. A
// picture is known by its content, so "b.png.txt" holding a bitmap is kept,
// and a damaged picture is kept too.
std::vector<PickedPicture> pickPictures(const std::string& folder, std::vector<std::string> names,
                                        const std::string& document,
                                        std::vector<LeftOut>& leftOut);

}  // namespace folder2pdf
