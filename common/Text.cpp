#include "common/Text.h"

#include "common/Path.h"

namespace folder2pdf {
namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when the bytes
// there aren't one: overlong forms, surrogates and values past U+10FFFF
// are refused, as a decoder for display must.
std::size_t sequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - i < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Whether the valid sequence of `length` bytes at text[i] is a control:
// C0 and DEL as one byte, C1 as the two bytes C2 80 to C2 9F.
bool isControl(std::string_view text, std::size_t i, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1) {
        return lead < 0x20 || lead == 0x7F;
    }
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

// A name that already reads as a quoted one is quoted too, so that no
// name shows as another.
bool needsQuoting(std::string_view name) {
    if (name.substr(0, 2) == "$'") {
        return true;
    }
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = sequenceAt(name, i);
        if (length == 0 || isControl(name, i, length)) {
            return true;
        }
        i += length;
    }
    return false;
}

void appendEscaped(std::string& text, unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    switch (byte) {
        case '\n':
            text += "\\n";
            return;
        case '\t':
            text += "\\t";
            return;
        case '\r':
            text += "\\r";
            return;
        case 0x1B:
            text += "\\e";
            return;
        default:
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 0x0F];
    }
}

}  // namespace

std::string shownName(std::string_view name) {
    if (!needsQuoting(name)) {
        return std::string(name);
    }
    std::string text = "$'";
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = sequenceAt(name, i);
        if (length == 0 || isControl(name, i, length)) {
            // An invalid sequence is shown a byte at a time, so that the
            // bytes after a broken lead still show as what they are.
            const std::size_t escaped = length == 0 ? 1 : length;
            for (std::size_t k = 0; k < escaped; ++k) {
                appendEscaped(text, static_cast<unsigned char>(name[i + k]));
            }
            i += escaped;
            continue;
        }
        if (name[i] == '\\' || name[i] == '\'') {
            text += '\\';
        }
        text.append(name, i, length);
        i += length;
    }
    return text + "'";
}

std::string groupedNumber(std::uint64_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}

std::string shownFile(const std::string& path) {
    return shownName(shownPath(path));
}

}  // namespace folder2pdf
