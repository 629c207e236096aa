#pragma once

#include <exception>
#include <string>

#include "common/Error.h"

namespace folder2pdf {

// The window's error box, in the window's language (Simplified Chinese):
// what failed in words a person reads, the file or folder concerned, and the
// library's technical reason (English) as detail. The command line shows
// the English message alone.
struct ErrorText {
    std::string what;    // one Chinese sentence, UTF-8
    std::string file;    // the path as the system writes it; empty when none
    std::string detail;  // the technical reason, without the path
};

// The parts for an engine error, chosen by its reason.
ErrorText errorText(const Error& error);
// For anything else that reaches the window (exhausted memory included).
ErrorText errorText(const std::exception& error);

// The box's whole text, UTF-8: "没有完成：" and what failed, the path on the
// next line, then after a blank line "详细信息：" and the detail.
std::string boxText(const ErrorText& text);

}  // namespace folder2pdf
