#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace folder2pdf {

// Texts made for people to read in the program's messages, alike on every
// system and front end.

// `name` (a file name or a path) as every message shows it: unchanged when
// it is valid UTF-8 without control characters. Otherwise the whole name
// in the quoting of bash and GNU ls, $'...', which a shell turns back into
// the same bytes: "\n", "\t", "\r" and "\e" for those controls, "\xNN"
// (two lower-case hex digits) for any other control (bytes below 0x20,
// 0x7F, and the C1 controls U+0080 to U+009F, byte by byte) and for each
// byte that is not part of valid UTF-8, "\\" and "\'" for the backslash and
// the quote; everything else as it is. A name that starts with $' is
// quoted too. So a name can't move the terminal's cursor or hide a part of
// the message, and two different names never look the same: "a\nb.jpg"
// (with a line feed) shows as $'a\nb.jpg'.
std::string shownName(std::string_view name);

// A path as every message shows it: the system's separators (shownPath())
// and shownName()'s quoting.
std::string shownFile(const std::string& path);

// `number` in decimal with a comma between groups of three digits, as the
// messages write sizes and counts: 2187000000 gives "2,187,000,000".
std::string groupedNumber(std::uint64_t number);

}  // namespace folder2pdf
