#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace folder2pdf {

// The window as designed, for every toolkit: its controls' kinds, captions,
// fonts, colors and places, in twips (1/1440 inch) as the design gives
// them, and the rules that turn them into pixels at a given screen
// resolution.

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Edges in pixels, as a window rectangle holds them: right and bottom lie
// just outside.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// The controls, in tab order; the labels take no focus, so the list has it
// when the window opens.
enum class Control { List, Command1, Command2, Command3, Command4, L1, L2 };
constexpr int controlCount = 7;

// A button with a menu shows an arrow beside its caption that opens the menu.
enum class ControlKind { List, Button, ButtonWithMenu, Label };

// One item of a pop-up menu.
struct MenuItem {
    std::string text;  // UTF-8
    bool checked = false;
    bool separatorBefore = false;
    const char* keys = "";  // the item's key, shown at its right ("Ctrl+R")
};

// The keys the window takes wherever the focus is (Delete: on the list),
// as the toolkit forwards them with their modifiers.
enum class Key { O, S, R, L, Z, T, Up, Down, Delete, Escape };

// The texts the window sets once, while it loads.
enum class Caption { Window, L1, L2 };

struct Rgb {
    std::uint8_t red, green, blue;
};

// Every font of the design is this face, bold, with the GB2312 character set.
inline constexpr const char* designFontFace = "宋体";

struct ControlDesign {
    Control id;
    ControlKind kind;
    const char* name;                       // the control's name, as tests and tools find it
    const char* caption;                    // UTF-8; the labels' are set while the window loads
    std::int32_t left, top, width, height;  // twips
    int fontTenths;  // the bold design face at tenths of a point; 0 for the window's default
    std::optional<Rgb> textColor;
};

inline constexpr std::array<ControlDesign, controlCount> controlDesigns{{
    {Control::List, ControlKind::List, "List", "", 120, 1080, 4695, 1320, 0, std::nullopt},
    {Control::Command1, ControlKind::Button, "Command1", "打开", 120, 120, 855, 495, 105,
     std::nullopt},
    {Control::Command2, ControlKind::ButtonWithMenu, "Command2", "生成", 1200, 120, 855, 495, 105,
     std::nullopt},
    {Control::Command3, ControlKind::Button, "Command3", "↑", 4920, 240, 495, 375, 90,
     std::nullopt},
    {Control::Command4, ControlKind::Button, "Command4", "↓", 5520, 240, 495, 375, 90,
     std::nullopt},
    {Control::L1, ControlKind::Label, "L1", "", 2400, 80, 2175, 255, 105, Rgb{192, 64, 0}},
    {Control::L2, ControlKind::Label, "L2", "", 2160, 360, 2655, 255, 105, Rgb{0, 128, 0}},
}};

inline const ControlDesign& designOf(Control control) {
    return controlDesigns[static_cast<std::size_t>(control)];
}

// The client area as designed.
constexpr std::int32_t clientWidthTwips = 6120;
constexpr std::int32_t clientHeightTwips = 3240;

// The resolution the rules below work at for a screen said to have `dpi`
// pixels an inch: Windows' standard 96 where the system gave none (0 or
// less, as GetDpiForWindow answers when it has no answer), at most 9600
// (100 times that), so that no place overflows. Every rule below takes its
// `dpi` through this, and none divides by 0.
int usableDpi(int dpi);

// Twips to pixels at `dpi`, to the nearest pixel, halves away from zero.
std::int32_t twipsToPixels(std::int32_t twips, int dpi);

// Pixels to twips at `dpi`, likewise rounded.
std::int32_t pixelsToTwips(std::int32_t pixels, int dpi);

// A control's designed place in pixels. Edges are converted, not sizes, so
// that controls designed edge to edge stay edge to edge.
Rect designPlace(const ControlDesign& design, int dpi);

// The designed client area in pixels.
Size designClientSize(int dpi);

// The list's place for a client area of `client` pixels: the full width,
// from 700 twips down to 1000 twips above the bottom, never above its own
// top edge (a window less than 1000 twips high, or minimised).
Rect listPlace(Size client, int dpi);

// The smallest client area at which every control keeps its whole place
// and the list shows a few rows.
Size minimumClientSize(int dpi);

// The side of a thumbnail's square in the list at `dpi`.
std::int32_t thumbnailSide(int dpi);

}  // namespace folder2pdf
