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
// The same reduced by libjpeg's scaled decoding, for a preview: the largest
// of 1/2, 1/4 and 1/8 whose longer side is still at least `longSide`
// (whole size when none is, or `longSide` is 0). Decoding work and the
// raster shrink with the square of the reduction; the coefficients of a
// file of several scans stay whole size and are told to the raster's
// memory check (GrayRaster::holdBeside).
void decodeJpegReduced(const std::uint8_t* data, std::size_t size, GrayRaster& out,
                       std::int32_t longSide);

bool sniffPng(const std::uint8_t* data, std::size_t size);
void decodePng(const std::uint8_t* data, std::size_t size, GrayRaster& out);

// TIFF and BigTIFF, either byte order: every directory of the main chain is
// a page, `page` counting from 0. tiffPageCount() walks that chain without
// decoding: the directories that lie wholly in the file, up to the first
// that doesn't, or that comes back to one already seen, or maxTiffPages; 1
// when there is none, so that the error comes when the page is decoded.
bool sniffTiff(const std::uint8_t* data, std::size_t size);
void decodeTiff(const std::uint8_t* data, std::size_t size, GrayRaster& out, std::size_t page);
std::size_t tiffPageCount(const std::uint8_t* data, std::size_t size);
inline constexpr std::size_t maxTiffPages = 10000;

// A TIFF page whose pixels are one strip of CCITT Group 4 code, most
// significant bit first: the bytes a PDF's /CCITTFaxDecode filter reads as
// they are, with what the filter and the page need beside them.
struct FaxStrip {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool blackIs1 = false;  // 0 is black (MinIsBlack): the code's black runs show white
    int orientation = 1;    // the Orientation tag, as EXIF's
    Bytes code;
};
// Fills `strip` from page `page` (from 0) of the TIFF file's bytes when the
// page is stored so (one sample of one bit, gray, in one strip, without
// Group 4's uncompressed mode) and returns true; false for any other page
// or file. The code isn't decoded: a caller that needs it checked decodes
// the page with decodeTiff() first.
bool readFaxStrip(const std::uint8_t* data, std::size_t size, std::size_t page, FaxStrip& strip);

// WebP, lossy or lossless; an animation gives its first frame.
bool sniffWebp(const std::uint8_t* data, std::size_t size);
void decodeWebp(const std::uint8_t* data, std::size_t size, GrayRaster& out);

// HEIF with HEVC (HEIC) or AV1 (AVIF) pictures: the file's primary picture,
// turned and mirrored as the file says it is shown.
bool sniffHeif(const std::uint8_t* data, std::size_t size);
void decodeHeif(const std::uint8_t* data, std::size_t size, GrayRaster& out);
// The date the primary picture was taken ("YYYY:MM:DD HH:MM:SS"), from its
// Exif item; "" when it has none, or the file can't be read. Never throws.
std::string heifDateTaken(const std::uint8_t* data, std::size_t size);

// A codec library's message as a decode error's reason: what is wrong
// said in a user's words first ("the file ends in the middle of the
// picture", "its PNG data is damaged"), then the library's own in brackets.
Error libraryError(const std::string& message, const char* format);

// Whether `data`, a file's first bytes, start a BMP, GIF, JPEG, PNG, TIFF,
// WebP, HEIC or AVIF picture: what decodePicture() would pick a decoder by.
// The first sniffBytes bytes decide.
bool sniffPicture(const std::uint8_t* data, std::size_t size);
inline constexpr std::size_t sniffBytes = 12;

// Whether the format that `data`, a file's first bytes, start can hold more
// than one picture (TIFF): only then does pictureCount() need the whole file.
bool mayHoldSeveralPictures(const std::uint8_t* data, std::size_t size);

// How many pictures (pages) the file's bytes hold: a TIFF's directories
// (see tiffPageCount), 1 for every other file, recognised or not. Never
// throws; a damaged file counts as 1, for the decoder to say what is wrong.
std::size_t pictureCount(const std::uint8_t* data, std::size_t size);

// Picks the decoder by content and runs it on picture `page` (from 0) of the
// file; an unrecognised format is a NotAPicture error, a page the file
// doesn't hold a decode error.
void decodePicture(const std::uint8_t* data, std::size_t size, GrayRaster& out,
                   std::size_t page = 0);

// What a file that is no picture is told: the formats read.
inline constexpr const char* notAPictureReason =
    "not a BMP, GIF, JPEG, PNG, TIFF, WebP, HEIC or AVIF picture";

// Composes one color sample over white paper with opacity `alpha`
// (0 transparent, 255 opaque), rounding to nearest.
inline std::uint8_t overWhite(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace folder2pdf
