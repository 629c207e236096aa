#pragma once

#include <string>
#include <string_view>

#include "common/Error.h"

namespace folder2pdf {

// Helpers the Windows implementations share (SystemWindows.cpp has them);
// only files built for Windows include this header.

// UTF-8 to UTF-16 and back, as the W functions take and give names and
// texts: the program's one conversion, for the engine, the command line,
// the window and the tests. A broken sequence (invalid UTF-8, a lone
// surrogate) becomes U+FFFD rather than failing the whole text.
std::wstring utf16(std::string_view text);
std::string utf8(std::wstring_view text);

// `path` as the W functions take it: full, with "\" between names, and
// with the "\\?\" prefix, so that paths longer than 260 characters work.
std::wstring widePath(const std::string& path);

// The text for a GetLastError() code: "in use by another program" for a
// file another program holds, the C library's words where one matches (so
// that messages read the same as on other systems), else the system's own.
std::string errorText(unsigned long code);

// Throws Error "path: what: errorText(code)"; its ErrorReason
// comes from the code, or is `otherwise` (reading or writing).
[[noreturn]] void throwFileError(const std::string& path, const std::string& what,
                                 unsigned long code,
                                 ErrorReason otherwise = ErrorReason::CannotRead);

}  // namespace folder2pdf
