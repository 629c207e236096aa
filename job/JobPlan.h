#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/FolderListing.h"
#include "pdf/DocumentOptions.h"

namespace folder2pdf {

// A picture file of the plan and which of its pages become pages: `pages`
// of them from `page` on. A TIFF may hold several; every other file one.
struct Picture {
    std::string path;  // the file, as the system takes it
    std::string name;  // what lists show: the name in its folder, or the path as given
    std::size_t page = 0;   // the first, from 0
    std::size_t pages = 1;  // how many
    // Clockwise quarter turns (0 to 3) the user gave it, after the file's
    // own orientation (EXIF or the container's): its pages come out turned.
    int quarterTurns = 0;
};

// `quarterTurns` turned `by` more (negative: anticlockwise), back in 0 to 3:
// what a picture's turns become when the user turns it again.
int turnedBy(int quarterTurns, int by);

// The plan's pictures one page each, in order: what a run makes pages of.
std::vector<Picture> pagesOf(const std::vector<Picture>& pictures);

// Everything a run needs, as a plain value: the pages in order, the
// document they go to and how it is made. Every front end makes one (by
// the planning functions below, or by hand) and hands it to runJob().
struct JobPlan {
    std::string folder;  // the folder listed; "" when the pictures were given
    std::vector<Picture> pictures;
    std::string output;
    DocumentOptions options;
    int workers = 1;
    // The files the listing left out, with the reason, for the front end to say.
    std::vector<LeftOut> leftOut;
};

// Lists the folder's candidate names; tests hand in a fixed listing.
using Listing = std::function<std::vector<std::string>(const std::string& folder)>;

// The document a folder's pictures go to: in the folder, named after it
// (nameOfFolder(): a drive's letter for a drive's root), ".pdf" added.
// The name never starts with a dot, which would hide the document: a
// folder "..dots" gives "dots.pdf".
std::string documentPathOf(const std::string& folder);

// The plan of a folder: its pictures by the listing rules (pickPictures():
// picture names whose first bytes are a picture's, the folder's own
// document left out, natural order), each with all its pages, and
// documentPathOf() as its output.
// `folder` is taken as an absolute path. Throws Error naming the folder
// when it can't be listed.
JobPlan planFolder(const std::string& folder, const Listing& listing = listFolderFiles);

// The plan of pictures given by path, in the order given, into `output`.
// Nothing is filtered: each file's content decides when it is read. A file
// of several pages gives them all, as a folder's does.
JobPlan planPictures(const std::vector<std::string>& paths, const std::string& output);

// Refuses a plan whose output must not be written: one of its pictures
// (the same file by identity: a hard link or another spelling of its path),
// or something that exists and is no regular file (a folder, a device, a
// FIFO, a socket, a link to one of those or to nothing; on Windows a
// device's name such as NUL). Throws Error (CannotWrite) naming the output
// and the reason; nothing is touched.
void checkOutput(const JobPlan& plan);

// The plans of a parent's sub-folders that hold pictures, each what
// planFolder() gives for it, in natural order of the names. Links to folders
// are not the parent's own and are left out, as are sub-folders that can't
// be listed; both go to leftOut with the reason, so nothing outside the
// parent is ever read or written.
struct ParentPlan {
    std::vector<JobPlan> folders;
    std::vector<LeftOut> leftOut;
};
ParentPlan planParent(const std::string& parent);

}  // namespace folder2pdf
