#pragma once

#include <string>

namespace folder2pdf {

// `text` (UTF-8) as a PDF text string, ready to stand as a dictionary
// value: printable ASCII as a literal string with "\", "(" and ")"
// escaped; anything else as UTF-16BE with its byte order mark, in hex
// ("<FEFF76F8518C>" for 相册), which every viewer shows right. Bytes that
// are not UTF-8 become U+FFFD.
std::string pdfTextString(const std::string& text);

// The name of the picture at `path` as a bookmark shows it: its file name
// without the folder and without the last extension ("scans/p 1.png" gives
// "p 1"); a name that starts with its only dot is kept whole.
std::string pageTitle(const std::string& path);

}  // namespace folder2pdf
