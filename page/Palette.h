#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Checked.h"
#include "image/GrayImage.h"

namespace folder2pdf {

// The colours of an RGB picture (image.channels 3) as a palette, when it
// has at most 256: fills `palette` with R, G, B bytes for each colour in
// the order the rows first show it and `indices` with each pixel's entry,
// one byte a pixel, and returns true. Returns false as soon as a 257th
// colour turns up, the two arrays then holding nothing of use.
bool paletteOf(const GrayImage& image, Bytes& palette, Bytes& indices);

// The fewest bits (1, 2, 4 or 8) an index into `entries` (1 to 256) colours
// takes.
int indexBits(std::size_t entries);

// Whether every entry of `palette` (R, G, B bytes each) is a gray: then
// `levels` gets each entry's level.
bool grayPalette(const Bytes& palette, Bytes& levels);

// Packs `samples`, one byte each, `width` of them a row, `height` rows,
// into `bits` (1, 2, 4 or 8) a sample, most significant first, each row
// padded to a whole byte: each sample divided by `step` first, 1 for
// indices, 255 / (2^bits - 1) for gray levels that are its multiples.
void packRows(const Bytes& samples, std::int32_t width, std::int32_t height, int bits, int step,
              Bytes& packed);

}  // namespace folder2pdf
