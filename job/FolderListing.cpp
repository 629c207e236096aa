#include "job/FolderListing.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "image/Decoders.h"
#include "image/ImgToByte.h"

namespace folder2pdf {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned char foldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// The picture filter, in the order the names are tested.
const char* const pictureExtensions[] = {".gif", ".bmp",  ".jpg",  ".png",  ".jpeg", ".jfif",
                                         ".tif", ".tiff", ".webp", ".heic", ".heif", ".avif"};

bool containsIgnoringCase(const std::string& text, const std::string& part) {
    if (part.size() > text.size()) {
        return false;
    }
    for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < part.size() && foldCase(text[start + i]) == foldCase(part[i])) {
            ++i;
        }
        if (i == part.size()) {
            return true;
        }
    }
    return false;
}

// Compares the digit runs starting at a[i] and b[j] by value and moves i and
// j past them. Runs can be longer than any integer type, so values are
// compared as digit strings: without leading zeros, the longer is larger.
int compareNumbers(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j) {
    while (i < a.size() && a[i] == '0') {
        ++i;
    }
    while (j < b.size() && b[j] == '0') {
        ++j;
    }
    const std::size_t aStart = i;
    const std::size_t bStart = j;
    while (i < a.size() && isDigit(a[i])) {
        ++i;
    }
    while (j < b.size() && isDigit(b[j])) {
        ++j;
    }
    const std::size_t aLength = i - aStart;
    const std::size_t bLength = j - bStart;
    if (aLength != bLength) {
        return aLength < bLength ? -1 : 1;
    }
    return a.compare(aStart, aLength, b, bStart, bLength);
}

// Natural comparison without the tie-break: <0, 0 or >0. Since no byte
// outside '0'..'9' folds into that range, a digit run meets any other byte
// the same way whatever its digits are, which keeps the order consistent.
int compareNaturally(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const int order = compareNumbers(a, i, b, j);
            if (order != 0) {
                return order;
            }
            continue;
        }
        const unsigned char x = foldCase(a[i]);
        const unsigned char y = foldCase(b[j]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && containsIgnoringCase(a, b);
}

// Why the first bytes of the file at `path` leave it out ("" when they are
// a picture's), and the pages of a picture. A file that can't be read now
// stays in, and the run says what is wrong.
std::string whyNoPicture(const std::string& path, ImgToByte& loader, std::size_t& pages) {
    std::uint8_t start[sniffBytes];
    std::size_t size = 0;
    pages = 1;
    try {
        size = readFileStart(path, start, sizeof start);
    } catch (const Error&) {
        return "";
    }
    if (size == 0) {
        return "the file is empty";
    }
    if (!sniffPicture(start, size)) {
        return notAPictureReason;
    }
    pages = loader.countPages(path, start, size);
    return "";
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    const int order = compareNaturally(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool isPictureName(const std::string& name) {
    for (const char* extension : pictureExtensions) {
        if (containsIgnoringCase(name, extension)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> picturePatterns() {
    std::vector<std::string> patterns;
    for (const char* extension : pictureExtensions) {
        patterns.push_back(std::string("*") + extension);
    }
    return patterns;
}

std::vector<PickedPicture> pickPictures(const std::string& folder, std::vector<std::string> names,
                                        const std::string& document,
                                        std::vector<LeftOut>& leftOut) {
    std::vector<PickedPicture> pictures;
    ImgToByte loader;
    for (std::string& name : names) {
        if (!isPictureName(name) || sameIgnoringCase(name, document)) {
            continue;
        }
        std::size_t pages = 1;
        if (std::string reason = whyNoPicture(joinPath(folder, name), loader, pages);
            !reason.empty()) {
            leftOut.push_back({std::move(name), std::move(reason)});
        } else {
            pictures.push_back({std::move(name), pages});
        }
    }
    return pictures;
}

std::vector<std::string> listFolderFiles(const std::string& folder) {
    std::vector<std::string> names = listFolder(folder);
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

}  // namespace folder2pdf
