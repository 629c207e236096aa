#include "common/Text.h"

#include "common/Path.h"
#include "common/Utf8.h"

namespace folder2pdf {
namespace {

// The length of the valid UTF-8 sequence at text[i], 0 when the bytes
// there aren't one, and whether it is a control: C0 and DEL, or C1.
struct Sequence {
    std::size_t length;
    bool control;
};

Sequence sequenceAt(std::string_view text, std::size_t i) {
    std::size_t end = i;
    const std::optional<char32_t> c = nextCodePoint(text, end);
    if (!c) {
        return {0, false};
    }
    return {end - i, *c < 0x20 || (*c >= 0x7F && *c < 0xA0)};
}

// A name that already reads as a quoted one is quoted too, so that no
// name shows as another.
bool needsQuoting(std::string_view name) {
    if (name.substr(0, 2) == "$'") {
        return true;
    }
    for (std::size_t i = 0; i < name.size();) {
        const Sequence sequence = sequenceAt(name, i);
        if (sequence.length == 0 || sequence.control) {
            return true;
        }
        i += sequence.length;
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
        const auto [length, control] = sequenceAt(name, i);
        if (length == 0 || control) {
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
