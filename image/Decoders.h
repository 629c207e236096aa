#pragma once

#include <cstddef>
#include <cstdint>

#include "image/GrayRaster.h"

namespace folder2pdf {

// One decoder per picture format. Each sniff() looks at the first bytes only;
// each decode() reads the whole file's bytes and delivers the picture to
// `out`, or throws Error (DecodeError for malformed or unsupported data,
// Overflow or OutOfMemory from GrayRaster::begin). Transparent pixels are
// composed over white, because the page is white paper. Messages name the
// reason only; the loader adds the file name.

bool sniffBmp(const std::uint8_t* data, std::size_t size);
void decodeBmp(const std::uint8_t* data, std::size_t size, GrayRaster& out);

bool sniffGif(const std::uint8_t* data, std::size_t size);
void decodeGif(const std::uint8_t* data, std::size_t size, GrayRaster& out);

bool sniffJpeg(const std::uint8_t* data, std::size_t size);
void decodeJpeg(const std::uint8_t* data, std::size_t size, GrayRaster& out);

bool sniffPng(const std::uint8_t* data, std::size_t size);
void decodePng(const std::uint8_t* data, std::size_t size, GrayRaster& out);

// A codec library's message as a decode error's reason: its first word
// lower-cased when it is a capitalised word ("Not enough image data"; a chunk
// name such as "IDAT: CRC error" keeps its case), with `format` and ": " in
// front unless the message names the format itself.
Error libraryError(const std::string& message, const char* format);

// Whether `data`, a file's first bytes, start a BMP, GIF, JPEG or PNG
// picture: what decodePicture() would pick a decoder by. The first
// sniffBytes bytes decide.
bool sniffPicture(const std::uint8_t* data, std::size_t size);
inline constexpr std::size_t sniffBytes = 8;
// The reason given for a file that is none of the formats.
inline constexpr char notAPictureReason[] = "not a BMP, GIF, JPEG or PNG picture";

// Picks the decoder by content and runs it; an unrecognised format is a
// decode error.
void decodePicture(const std::uint8_t* data, std::size_t size, GrayRaster& out);

// Composes one color sample over white paper with opacity `alpha`
// (0 transparent, 255 opaque), rounding to nearest.
inline std::uint8_t overWhite(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace folder2pdf
