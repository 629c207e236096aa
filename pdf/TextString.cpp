#include "pdf/TextString.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/Path.h"
#include "common/Utf8.h"

namespace folder2pdf {
namespace {

constexpr char32_t replacement = 0xFFFD;

void addUnit(std::string& hex, char32_t codeUnit) {
    const auto unit = static_cast<std::uint16_t>(codeUnit);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(unit));
    hex += digits;
}

std::string utf16Hex(const std::string& text) {
    std::string hex = "<FEFF";
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextCodePoint(text, i).value_or(replacement);
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
