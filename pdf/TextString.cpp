#include "pdf/TextString.h"

#include <algorithm>
#include <cstdio>

#include "common/Path.h"

namespace folder2pdf {
namespace {

constexpr char32_t replacement = 0xFFFD;

// The code point starting at text[i]; i moves past it. Overlong forms,
// surrogates and cut sequences are not UTF-8.
char32_t nextCodePoint(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4) {
        return replacement;
    }
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return replacement;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    const char32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return replacement;
    }
    return c;
}

void addUnit(std::string& hex, unsigned unit) {
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", unit);
    hex += digits;
}

std::string utf16Hex(const std::string& text) {
    std::string hex = "<FEFF";
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextCodePoint(text, i);
        if (c >= 0x10000) {
            addUnit(hex, 0xD800 + ((c - 0x10000) >> 10));
            addUnit(hex, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            addUnit(hex, c);
        }
    }
    return hex + ">";
}

}  // namespace

std::string pdfTextString(const std::string& text) {
    const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    if (!printable) {
        return utf16Hex(text);
    }
    std::string literal = "(";
    for (const char c : text) {
        if (c == '\\' || c == '(' || c == ')') {
            literal += '\\';
        }
        literal += c;
    }
    return literal + ")";
}

std::string pageTitle(const std::string& path) {
    std::string name = nameOf(path);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

}  // namespace folder2pdf
