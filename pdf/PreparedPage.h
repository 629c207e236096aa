#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Checked.h"
#include "pdf/PageLayout.h"

namespace folder2pdf {

// How a page's image stream is encoded, as the writer names its filter.
enum class StreamKind {
    Flate,           // zlib over the rows, each padded to a byte
    PredictedFlate,  // zlib over the rows, each after its PNG filter type (predictor 15)
    Dct,             // a JPEG
    Fax,             // CCITT Group 4, one bit a pixel, most significant bit first
};

// The colour space of a page's image, as the writer names it.
enum class ColorKind {
    Gray,     // one component
    Rgb,      // three
    Cmyk,     // four
    Indexed,  // one index a pixel into `palette`, an RGB colour each
};

// One picture made ready to become a page: everything the writer needs and
// nothing it has to decode. Making it needs no document, so pictures can be
// prepared on worker threads while the writer appends earlier pages in order.
struct PreparedPage {
    std::string path;  // the picture's file: the bookmark's name
    // The image's size in pixels.
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    Bytes stream;
    StreamKind kind = StreamKind::Flate;
    // Bits per component of the rows the stream holds (1, 2, 4 or 8; 1 for Fax).
    std::int32_t bitsPerComponent = 8;
    // The page's box and where the image lies on it.
    PageLayout layout;
    ColorKind color = ColorKind::Gray;
    // The image's ICC profile, for an /ICCBased colour space; empty for none.
    std::vector<std::uint8_t> iccProfile;
    // A JPEG's colour transform (YCbCr to RGB, YCCK to CMYK), as its decoder
    // decides it; written for three and four components only.
    bool colorTransform = false;
    // Four components stored inverted (0 full ink), as Adobe writes CMYK.
    bool inverted = false;
    // With ColorKind::Indexed: R, G, B bytes for each index, 1 to 256 of them.
    Bytes palette;
    // With StreamKind::Fax: the code's black runs decode to 1 bits, which
    // the gray image shows white (a TIFF whose 0 is black); else to 0 bits.
    bool blackIs1 = false;
};

}  // namespace folder2pdf
