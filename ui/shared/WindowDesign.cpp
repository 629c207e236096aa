#include "ui/shared/WindowDesign.h"

#include <algorithm>

namespace folder2pdf {

namespace {

constexpr std::int64_t twipsPerInch = 1440;
constexpr std::int32_t listTopTwips = 700;
constexpr std::int32_t listHeightLessTwips = 1000;
// Three rows of the list's font at the least.
constexpr std::int32_t listLeastTwips = 800;
constexpr std::int32_t thumbnailTwips = 1440;
constexpr int standardDpi = 96;
constexpr int highestDpi = 100 * standardDpi;

// value x multiplier / divisor to the nearest integer, halves away from
// zero, as Windows' MulDiv rounds, so that both toolkits place alike.
std::int32_t scale(std::int32_t value, std::int64_t multiplier, std::int64_t divisor) {
    const std::int64_t product = std::int64_t{value} * multiplier;
    const std::int64_t half = divisor / 2;
    return static_cast<std::int32_t>(product >= 0 ? (product + half) / divisor
                                                  : -((-product + half) / divisor));
}

}  // namespace

int usableDpi(int dpi) {
    return dpi <= 0 ? standardDpi : std::min(dpi, highestDpi);
}

std::int32_t twipsToPixels(std::int32_t twips, int dpi) {
    return scale(twips, usableDpi(dpi), twipsPerInch);
}

std::int32_t pixelsToTwips(std::int32_t pixels, int dpi) {
    return scale(pixels, twipsPerInch, usableDpi(dpi));
}

Rect designPlace(const ControlDesign& design, int dpi) {
    return {twipsToPixels(design.left, dpi), twipsToPixels(design.top, dpi),
            twipsToPixels(design.left + design.width, dpi),
            twipsToPixels(design.top + design.height, dpi)};
}

Size designClientSize(int dpi) {
    return {twipsToPixels(clientWidthTwips, dpi), twipsToPixels(clientHeightTwips, dpi)};
}

Rect listPlace(Size client, int dpi) {
    const std::int32_t heightTwips =
        std::max(0, pixelsToTwips(client.height, dpi) - listHeightLessTwips);
    return {0, twipsToPixels(listTopTwips, dpi), client.width,
            twipsToPixels(listTopTwips + heightTwips, dpi)};
}

Size minimumClientSize(int dpi) {
    return {twipsToPixels(clientWidthTwips, dpi),
            twipsToPixels(listTopTwips + listLeastTwips + listHeightLessTwips, dpi)};
}

std::int32_t thumbnailSide(int dpi) {
    return twipsToPixels(thumbnailTwips, dpi);
}

}  // namespace folder2pdf
