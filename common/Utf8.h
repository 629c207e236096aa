#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace folder2pdf {

// The code point of the UTF-8 sequence starting at text[i] (i < size);
// i moves past it. Overlong forms, surrogates, code points past U+10FFFF
// and cut sequences are no UTF-8: nullopt, i then past the bytes looked at.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& i);

}  // namespace folder2pdf
