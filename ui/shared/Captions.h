#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace folder2pdf {

// Border style of a status bar part, as the part layout table's second
// column holds it: the flag bits a common-controls status bar takes above
// the part index.
constexpr std::int32_t sunkenBorder = 0;
constexpr std::int32_t noBorders = 256;

// One row per status bar part: {width in pixels, border style}. The last
// part's width takes no effect: it always runs to the right edge.
using PartLayoutTable = std::array<std::array<std::int32_t, 2>, 4>;

// The window's table: 36, 100 and 38 pixels, then the rest; only the
// message field (part 1) has a sunken border.
constexpr PartLayoutTable windowPartLayout{{
    {36, noBorders},
    {100, sunkenBorder},
    {38, noBorders},
    {-1, noBorders},
}};

// The right edges the bar is given: running sums of the widths, the last
// edge -1 (to the bar's right end) whatever the last width says. Throws
// Error (Overflow) when a sum leaves 32 bits.
std::array<std::int32_t, 4> partRightEdges(const PartLayoutTable& table);

// The two fixed labels of the status bar, parts 0 and 2.
inline constexpr std::u16string_view infoLabel = u"信息：";
inline constexpr std::u16string_view progressLabel = u" 进度 ";

// The status bar parts the window writes into.
constexpr std::int32_t infoPart = 0;
constexpr std::int32_t messagePart = 1;
constexpr std::int32_t progressLabelPart = 2;

// Unscrambles `bytes` in place with `captionKey` (each byte XOR the key)
// and returns the text whose UTF-16LE encoding they then are; an odd last
// byte is left out of the text. Applied twice with the same key, it gives
// the scrambled bytes back.
std::u16string unscrambleText(std::span<std::uint8_t> bytes, std::uint8_t captionKey);

// What a window does while it loads; loadWindow() calls the steps in their
// order. Both windows implement it over their own controls.
class LoadingWindow {
  public:
    enum class Caption { Window, L1, L2 };

    virtual ~LoadingWindow() = default;
    // Creates the status bar with its progress bar, laid out by `table`.
    virtual void createStatusBar(const PartLayoutTable& table) = 0;
    // Writes `text` into status bar part `part`.
    virtual void setStatusText(std::int32_t part, std::u16string_view text) = 0;
    // Creates the window's folder job, empty.
    virtual void createJob() = 0;
    // Sets the window's caption or one label's.
    virtual void setCaption(Caption which, const std::u16string& text) = 0;
};

// The start-up sequence: the start-up check (the program ends here when a
// debugger is attached), the status bar and its two labels, the job, then
// the window's, L1's and L2's captions, each unscrambled from the bytes
// the program carries.
void loadWindow(LoadingWindow& window);

}  // namespace folder2pdf
