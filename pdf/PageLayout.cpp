#include "pdf/PageLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace folder2pdf {
namespace {

constexpr double pointsPerMM = 72.0 / 25.4;
constexpr double maxPageSide = 14400;

double hundredths(double value) {
    return std::round(value * 100) / 100;
}

// to_chars never looks at the locale, so a German system still writes "595.28".
std::string number(double value) {
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, hundredths(value), std::chars_format::fixed, 2).ptr;
    std::string result(text, end);
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.') {
        result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

PageLayout filledPage(double width, double height) {
    const std::string w = number(width);
    const std::string h = number(height);
    return {w, h, w + " 0 0 " + h + " 0 0"};
}

PageLayout atResolution(int dpi, std::int32_t W, std::int32_t H) {
    double width = W * 72.0 / dpi;
    double height = H * 72.0 / dpi;
    const double longer = std::max(width, height);
    if (longer > maxPageSide) {
        width = width * maxPageSide / longer;
        height = height * maxPageSide / longer;
    }
    // A side that two decimals would make 0 keeps the smallest that shows.
    return filledPage(std::max(width, 0.01), std::max(height, 0.01));
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

}  // namespace

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
    return options.paper == Paper::Picture ? atResolution(options.dpi, W, H)
                                           : onPaper(options, W, H);
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
    if (options.jpegQuality < 1 || options.jpegQuality > 100) {
        return "the JPEG quality must be from 1 to 100";
    }
    return "";
}

}  // namespace folder2pdf
