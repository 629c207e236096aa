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

// Readers keep to PDF 1.4's limit of 14400 units (200 inches) a page side;
// Adobe Reader shows a longer page blank.
constexpr std::int32_t maxPageSide = 14400;

// The page of a W x H picture as `options` ask. By default the page is as
// many points as the picture has pixels, scaled down uniformly when a side
// passes maxPageSide. On a paper the page is turned to
// the picture's orientation (landscape when wider than high), the picture
// scaled uniformly to fit inside the margins (Fit::Shrink: never enlarged)
// and centred; at a resolution the page is the picture's size at that many
// dots per inch, scaled down like a picture's own page when a side passes
// maxPageSide. Numbers have the decimals that keep the picture's aspect (two
// on a paper, up to five for tiny pages) and never depend on the locale.
PageLayout layOutPage(const DocumentOptions& options, std::int32_t W, std::int32_t H);

// `layout` (of the upright picture's size) with its placement turned and
// mirrored as an EXIF orientation (2 to 8) says the stored image is shown:
// the image is drawn upright without its pixels being touched. Other values
// leave the layout as it is.
PageLayout turnedLayout(PageLayout layout, int orientation);

// The portrait width and height, in points, of `paper` (Picture: 0 x 0).
// ISO sizes come from millimetres at 72/25.4 points each, rounded to two
// decimals: A4 is 595.28 x 841.89.
struct PaperSize {
    double width;
    double height;
};
PaperSize paperSize(Paper paper);

}  // namespace folder2pdf
