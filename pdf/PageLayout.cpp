#include "pdf/PageLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace folder2pdf {
namespace {

constexpr double pointsPerMM = 72.0 / 25.4;
// PDF 1.4 readers keep five decimals of a real.
constexpr int mostDecimals = 5;

double hundredths(double value) {
    return std::round(value * 100) / 100;
}

// `value` with `decimals` decimals, trailing zeros dropped. to_chars never
// looks at the locale, so a German system still writes "595.28".
std::string fixedNumber(double value, int decimals) {
    char text[48];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    std::string result(text, end);
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
    }
    if (result.back() == '.') {
        result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

// `value` rounded to `decimals` decimals, halves away from zero.
std::string number(double value, int decimals = 2) {
    const double scale = std::pow(10.0, decimals);
    return fixedNumber(std::round(value * scale) / scale, decimals);
}

// A page side in as many decimals (two to five) as keep it within 0.05%:
// two decimals would write a side of 0.0713 as 0.07 and turn the page's
// aspect by several percent. The smallest side that shows stays.
std::string sideNumber(double side) {
    int decimals = 2;
    while (decimals < mostDecimals && side * std::pow(10.0, decimals) < 1000) {
        ++decimals;
    }
    return number(std::max(side, std::pow(10.0, -decimals)), decimals);
}

PageLayout filledPage(const std::string& w, const std::string& h) {
    return {w, h, w + " 0 0 " + h + " 0 0"};
}

// The picture's own page: as many points as pixels, unless the longer side
// passes the limit, when the page is scaled down uniformly to it, the image
// keeping every pixel, in five decimals so that the aspect holds to a few
// millionths.
PageLayout ownPage(std::int32_t W, std::int32_t H) {
    const std::int32_t longer = std::max(W, H);
    if (longer <= maxPageSide) {
        return filledPage(std::to_string(W), std::to_string(H));
    }
    const auto scaled = [&](std::int32_t side) {
        return fixedNumber(std::max(1e-5, static_cast<double>(side) * maxPageSide / longer),
                           mostDecimals);
    };
    return filledPage(scaled(W), scaled(H));
}

PageLayout atResolution(int dpi, std::int32_t W, std::int32_t H) {
    double width = W * 72.0 / dpi;
    double height = H * 72.0 / dpi;
    const double longer = std::max(width, height);
    if (longer > maxPageSide) {
        width = width * maxPageSide / longer;
        height = height * maxPageSide / longer;
    }
    return filledPage(sideNumber(width), sideNumber(height));
}

PageLayout onPaper(const DocumentOptions& options, std::int32_t W, std::int32_t H) {
    PaperSize paper = paperSize(options.paper);
    if (W > H) {
        std::swap(paper.width, paper.height);
    }
    const double margin = options.marginMM * pointsPerMM;
    double scale = std::min((paper.width - 2 * margin) / W, (paper.height - 2 * margin) / H);
    if (options.fit == Fit::Shrink) {
        scale = std::min(scale, 1.0);
    }
    const double width = std::max(hundredths(W * scale), 0.01);
    const double height = std::max(hundredths(H * scale), 0.01);
    return {number(paper.width), number(paper.height),
            number(width) + " 0 0 " + number(height) + " " + number((paper.width - width) / 2) +
                " " + number((paper.height - height) / 2)};
}

// The six numbers of a placement, as layOutPage() writes them.
bool readPlacement(const std::string& text, double numbers[6]) {
    const char* at = text.data();
    const char* end = at + text.size();
    for (int i = 0; i < 6; ++i) {
        while (at < end && *at == ' ') {
            ++at;
        }
        const auto [stop, error] = std::from_chars(at, end, numbers[i]);
        if (error != std::errc()) {
            return false;
        }
        at = stop;
    }
    return true;
}

}  // namespace

PageLayout turnedLayout(PageLayout layout, int orientation) {
    // Where each orientation takes the stored image's unit square (u right,
    // v up, the first row at the top) in the upright one, as a cm matrix
    // a b c d e f: x = a u + c v + e, y = b u + d v + f.
    static constexpr int turns[9][6] = {
        {1, 0, 0, 1, 0, 0},   {1, 0, 0, 1, 0, 0},   {-1, 0, 0, 1, 1, 0},
        {-1, 0, 0, -1, 1, 1}, {1, 0, 0, -1, 0, 1},  {0, -1, -1, 0, 1, 1},
        {0, -1, 1, 0, 0, 1},  {0, 1, 1, 0, 0, 0},   {0, 1, -1, 0, 1, 0},
    };
    double p[6];
    if (orientation < 2 || orientation > 8 || !readPlacement(layout.placement, p)) {
        return layout;
    }
    // The placement only scales and moves (a 0 0 d e f): the turn comes first.
    const int* t = turns[orientation];
    const double turned[6] = {p[0] * t[0], p[3] * t[1], p[0] * t[2],
                              p[3] * t[3], p[0] * t[4] + p[4], p[3] * t[5] + p[5]};
    std::string placement;
    for (const double value : turned) {
        placement += (placement.empty() ? "" : " ") + fixedNumber(value, mostDecimals);
    }
    layout.placement = placement;
    return layout;
}

PaperSize paperSize(Paper paper) {
    const auto iso = [](double width, double height) {
        return PaperSize{hundredths(width * pointsPerMM), hundredths(height * pointsPerMM)};
    };
    switch (paper) {
        case Paper::A4:
            return iso(210, 297);
        case Paper::A3:
            return iso(297, 420);
        case Paper::A5:
            return iso(148, 210);
        case Paper::Letter:
            return {612, 792};
        case Paper::Legal:
            return {612, 1008};
        case Paper::Picture:
            break;
    }
    return {0, 0};
}

PageLayout layOutPage(const DocumentOptions& options, std::int32_t W, std::int32_t H) {
    if (options.paper != Paper::Picture) {
        return onPaper(options, W, H);
    }
    return options.dpi > 0 ? atResolution(options.dpi, W, H) : ownPage(W, H);
}

std::string invalidOptions(const DocumentOptions& options) {
    const bool paper = options.paper != Paper::Picture;
    if (paper && options.dpi > 0) {
        return "a paper size and a resolution exclude each other";
    }
    if (!paper && (options.marginMM != 0 || options.fit != Fit::Page)) {
        return "margins and fitting need a paper size";
    }
    if (options.dpi < 0 || options.dpi > 100000) {
        return "the resolution must be from 1 to 100000 dots per inch";
    }
    const PaperSize size = paperSize(options.paper);
    if (!(options.marginMM >= 0) ||
        (paper && !(2 * options.marginMM * pointsPerMM < std::min(size.width, size.height)))) {
        return "the margins leave no room on the paper";
    }
    if (options.maxSize > 0 && options.compression == Compression::Compact) {
        return "--max-size and --compact exclude each other";
    }
    if (!(options.pictureScale > 0 && options.pictureScale <= 1)) {
        return "the pictures' scale must be above 0 and at most 1";
    }
    if (options.jpegQuality < 1 || options.jpegQuality > 100) {
        return "the JPEG quality must be from 1 to 100";
    }
    return "";
}

}  // namespace folder2pdf
