#include "page/Palette.h"

#include <array>
#include <cstring>

namespace folder2pdf {

bool paletteOf(const GrayImage& image, Bytes& palette, Bytes& indices) {
    constexpr std::size_t maxEntries = 256;
    // Open addressing at a quarter full at most; a key is its colour plus
    // one, so that 0 marks a free slot.
    constexpr std::uint32_t slotBits = 10;
    constexpr std::uint32_t slotMask = (1u << slotBits) - 1;
    std::array<std::uint32_t, 1u << slotBits> keys{};
    std::array<std::uint8_t, 1u << slotBits> entries{};
    const std::size_t pixels =
        static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height);
    palette.clear();
    resizeBytes(indices, pixels);
    const std::uint8_t* rgb = image.imgData.data();
    std::uint32_t last = 0;  // the key of the pixel before: runs skip the table
    std::uint8_t lastEntry = 0;
    for (std::size_t i = 0; i < pixels; ++i, rgb += 3) {
        const std::uint32_t key =
            (std::uint32_t{rgb[0]} << 16 | std::uint32_t{rgb[1]} << 8 | rgb[2]) + 1;
        if (key != last) {
            std::uint32_t slot = (key * 2654435761u) >> (32 - slotBits);
            while (keys[slot] != 0 && keys[slot] != key) {
                slot = (slot + 1) & slotMask;
            }
            if (keys[slot] == 0) {
                if (palette.size() == 3 * maxEntries) {
                    return false;
                }
                keys[slot] = key;
                entries[slot] = static_cast<std::uint8_t>(palette.size() / 3);
                palette.insert(palette.end(), rgb, rgb + 3);
            }
            last = key;
            lastEntry = entries[slot];
        }
        indices[i] = lastEntry;
    }
    return true;
}

int indexBits(std::size_t entries) {
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

bool grayPalette(const Bytes& palette, Bytes& levels) {
    levels.clear();
    for (std::size_t i = 0; i + 2 < palette.size(); i += 3) {
        if (palette[i] != palette[i + 1] || palette[i] != palette[i + 2]) {
            return false;
        }
        levels.push_back(palette[i]);
    }
    return true;
}

void packRows(const Bytes& samples, std::int32_t width, std::int32_t height, int bits, int step,
              Bytes& packed) {
    const auto w = static_cast<std::size_t>(width);
    const std::size_t rowBytes = (w * static_cast<std::size_t>(bits) + 7) / 8;
    resizeBytes(packed, rowBytes * static_cast<std::size_t>(height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        const std::uint8_t* in = samples.data() + y * w;
        std::uint8_t* out = packed.data() + y * rowBytes;
        std::memset(out, 0, rowBytes);
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t bit = x * static_cast<std::size_t>(bits);
            out[bit / 8] |= static_cast<std::uint8_t>(in[x] / step << (8 - bits - bit % 8));
        }
    }
}

}  // namespace folder2pdf
