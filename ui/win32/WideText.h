#pragma once

#include <string>
#include <string_view>

namespace folder2pdf {

// The window speaks UTF-16 with Windows and UTF-8 with the engine. Invalid
// sequences become U+FFFD rather than failing: these are texts to show.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The same UTF-16 text in the type both windows share.
inline std::wstring_view wideView(std::u16string_view text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is UTF-16");
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

}  // namespace folder2pdf
