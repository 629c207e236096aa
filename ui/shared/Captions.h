#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "ui/shared/WindowDesign.h"

namespace folder2pdf {

// The window's caption and its two labels' texts, each kept as its UTF-16LE
// bytes XOR a key byte, so that the texts don't show in the program file as
// they are.
struct ScrambledCaption {
    Caption which;
    std::uint8_t key;
    std::span<const std::uint8_t> bytes;
};
extern const std::array<ScrambledCaption, 3> scrambledCaptions;

// Unscrambles `bytes` in place with `captionKey` (each byte XOR the key)
// and returns the text whose UTF-16LE encoding they then are; an odd last
// byte is left out of the text. Applied twice with the same key, it gives
// the scrambled bytes back.
std::u16string unscrambleText(std::span<std::uint8_t> bytes, std::uint8_t captionKey);

}  // namespace folder2pdf
