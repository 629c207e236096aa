#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// A photograph-like RGB picture: smooth gradients, soft shapes and sensor
// noise, deterministic for a given size.
std::vector<std::uint8_t> photoPixels(int width, int height);

// The same pixels encoded by the codec libraries, in memory.
std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality);
std::vector<std::uint8_t> encodePng(const std::vector<std::uint8_t>& rgb, int width, int height);
// An 8-bit gray PNG of an RGB picture whose three channels are equal.
std::vector<std::uint8_t> encodeGrayPng(const std::vector<std::uint8_t>& rgb, int width,
                                        int height);
std::vector<std::uint8_t> encodeBmp(const std::vector<std::uint8_t>& rgb, int width, int height);
// A 256-color GIF of the picture (colors quantised to 8 x 8 x 4 levels).
std::vector<std::uint8_t> encodeGif(const std::vector<std::uint8_t>& rgb, int width, int height);
// Lossy WebP and HEIC (HEVC) at the given quality, as a phone or camera writes them.
std::vector<std::uint8_t> encodeWebp(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality);
std::vector<std::uint8_t> encodeHeic(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality);
// An RGB TIFF, LZW with the horizontal predictor as photo editors save them,
// written to `path` (libtiff writes files, not memory).
void writeTiff(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
               int height);

}  // namespace bench
