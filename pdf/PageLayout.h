#pragma once

#include <cstdint>
#include <string>

#include "pdf/DocumentOptions.h"

namespace folder2pdf {

// Where a picture goes on its page, as the page and content stream spell
// it: the MediaBox's width and height, and the six numbers of the `cm`
// operator that maps the image's unit square onto the page.
struct PageLayout {
    std::string pageW;
    std::string pageH;
    std::string placement;  // "a 0 0 d e f"
};

// The page of a W x H picture on the paper or at the resolution `options`
// ask for (a paper or dpi must be set). On a paper the page is turned to
// the picture's orientation (landscape when wider than high), the picture
// scaled uniformly to fit inside the margins (Fit::Shrink: never enlarged)
// and centred; at a resolution the page is the picture's size at that many
// dots per inch, scaled down like a picture's own page when a side passes
// 14,400 points. Numbers have at most two decimals and never depend on
// the locale.
PageLayout layOutPage(const DocumentOptions& options, std::int32_t W, std::int32_t H);

// The portrait width and height, in points, of `paper` (Picture: 0 x 0).
// ISO sizes come from millimetres at 72/25.4 points each, rounded to two
// decimals: A4 is 595.28 x 841.89.
struct PaperSize {
    double width;
    double height;
};
PaperSize paperSize(Paper paper);

}  // namespace folder2pdf
