#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// The arguments of the Windows command line `commandLine` (the program's
// name first), split by the system's rules (CommandLineToArgvW) and in
// UTF-8: the one reading of both programs' command lines. No file name can
// hold a '"', so a trailing one is dropped: it came from a "\" before the
// closing quote, as in "C:\My Album\" typed in cmd or "P:\" from Explorer's
// verb, which the rules read as a quote inside the argument. What is left
// of a drive's root, "P:", gets its separator back: alone it would name the
// drive's current folder. Empty when the system can't split the line.
std::vector<std::string> commandLineArguments(const wchar_t* commandLine);

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
