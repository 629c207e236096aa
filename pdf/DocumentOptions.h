#pragma once

#include <cstdint>
#include <string>

namespace folder2pdf {

// The paper a page is laid out on. Picture is the default: the page is as
// many points as the picture has pixels.
enum class Paper { Picture, A4, A3, A5, Letter, Legal };

// How a picture meets its paper: Page scales it up or down to fill the room
// inside the margins; Shrink only scales down, leaving a smaller picture at
// one point per pixel.
enum class Fit { Page, Shrink };

// How a page's picture is stored. Flate is the default: the 8-bit raster
// compressed with zlib. Compact is lossless too, the smallest of plain
// Flate, Flate after PNG predictors, and fewer bits per pixel when the
// picture's levels allow. Jpeg is lossy: a gray JPEG of `jpegQuality`.
enum class Compression { Flate, Compact, Jpeg };

// Every choice a document can be made with; the defaults make the document
// the program has always written, byte for byte. Given to the writer (page
// layout, title, bookmarks) and to the page preparers (compression) at the
// start of a run.
struct DocumentOptions {
    Paper paper = Paper::Picture;
    double marginMM = 0;  // with a paper: the room kept free on each side
    Fit fit = Fit::Page;  // with a paper
    int dpi = 0;          // > 0: the page is the picture's size at this resolution
    Compression compression = Compression::Flate;
    int jpegQuality = 85;  // 1 to 100, with Compression::Jpeg
    // Pages keep their colours, in the fewest bits that hold them; JPEG
    // files and TIFF pages of Group 4 code are stored as they are.
    bool color = false;
    // > 0: the document may take at most this many bytes (--max-size); the
    // run then chooses the JPEG quality and `pictureScale` itself.
    std::int64_t maxSize = 0;
    // With Compression::Jpeg: the pictures' pixels scaled by this (0 to 1]
    // before encoding, the page keeping its size.
    double pictureScale = 1.0;
    std::string title;       // UTF-8; "" for none
    bool bookmarks = false;  // one outline entry per page, named after its picture
};

// Why `options` can't make a document ("" when they can): a margin that
// leaves no room on the paper, a resolution or quality out of range, a
// paper together with a resolution, margins or a fit without a paper.
std::string invalidOptions(const DocumentOptions& options);

}  // namespace folder2pdf
