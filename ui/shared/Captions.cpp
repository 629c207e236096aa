#include "ui/shared/Captions.h"

namespace folder2pdf {

namespace {

constexpr std::array<std::uint8_t, 12> windowCaption{
    // 图片转PDF, key 0x5A
    0xA4, 0x0C, 0x1D, 0x28, 0x36, 0xD5, 0x0A, 0x5A, 0x1E, 0x5A, 0x1C, 0x5A};
constexpr std::array<std::uint8_t, 18> l1Caption{// 图片文件夹转PDF, key 0xA7
                                                 0x59, 0xF1, 0xE0, 0xD5, 0x20, 0xC2,
                                                 0x51, 0xE9, 0x9E, 0xFE, 0xCB, 0x28,
                                                 0xF7, 0xA7, 0xE3, 0xA7, 0xE1, 0xA7};
constexpr std::array<std::uint8_t, 24> l2Caption{// 打开文件夹，排序后点生成, key 0x3C
                                                 0x6F, 0x5E, 0x3C, 0x63, 0xBB, 0x59, 0xCA, 0x72,
                                                 0x05, 0x65, 0x30, 0xC3, 0xAE, 0x5F, 0xB3, 0x62,
                                                 0x32, 0x68, 0x85, 0x4C, 0x23, 0x49, 0x2C, 0x5E};

}  // namespace

const std::array<ScrambledCaption, 3> scrambledCaptions{{
    {Caption::Window, 0x5A, windowCaption},
    {Caption::L1, 0xA7, l1Caption},
    {Caption::L2, 0x3C, l2Caption},
}};

std::u16string unscrambleText(std::span<std::uint8_t> bytes, std::uint8_t captionKey) {
    for (std::uint8_t& byte : bytes) {
        byte ^= captionKey;
    }
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return text;
}

}  // namespace folder2pdf
