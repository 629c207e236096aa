#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "common/Checked.h"
#include "image/GrayImage.h"

namespace folder2pdf {

// Where a decoder delivers its picture: it announces the size once, then
// hands over rows (in any order, each exactly once) as R, G, B, X bytes or
// as gray bytes. The rows land, converted to gray, in the caller's array, so no
// decoder needs a copy of the whole picture in color.
class GrayRaster {
  public:
    // `scratch`, when given, is where orient() turns pictures; kept by the
    // caller from picture to picture, it spares fresh memory each time.
    // With `keepColor` colour rows are kept as R, G, B bytes: a picture stays
    // one gray byte a pixel only while every row comes as gray; the first
    // colour row makes it RGB, the gray rows delivered before expanded.
    explicit GrayRaster(Bytes& imgData, Bytes* scratch = nullptr, bool keepColor = false)
        : imgData_(imgData), scratch_(scratch), keepColor_(keepColor) {}

    // Checks the size against the loader's limits before anything that large
    // is allocated, then sizes the caller's array to width x height.
    // A zero width or height is a decode error; a raster (width x height x
    // bytesPerPixel bytes) beyond the signed 32-bit range is an overflow
    // error that gives the size ("picture too large: ...").
    void begin(std::int32_t width, std::int32_t height);

    // The checks of begin() alone, nothing allocated: for decoders that
    // compare the declared size with the data present before allocating.
    static void checkSize(std::int32_t width, std::int32_t height, int bytesPerPixel = 1);

    // R, G, B and one ignored byte a pixel: the fastest to convert.
    void putRgbxRow(std::int32_t y, const std::uint8_t* rgbx);
    void putGrayRow(std::int32_t y, const std::uint8_t* gray);
    // Direct access to row y of the gray raster, for decoders that write gray
    // levels themselves; not once the picture holds colour (channels() 3).
    std::uint8_t* row(std::int32_t y);
    // With keepColor, direct access to row y as R, G, B bytes a pixel: the
    // picture holds colour from then on.
    std::uint8_t* rgbRow(std::int32_t y);

    // Asked by begin(), after the size checks and before the raster is
    // allocated, with the raster's bytes (width x height, three times that
    // with keepColor) and those the decoder said it holds beside it
    // (holdBeside()). A check that throws refuses the picture before its
    // memory is taken: how a caller keeps decoding within a budget.
    using MemoryCheck = std::function<void(std::uint64_t rasterBytes, std::uint64_t decoderBytes)>;
    void setMemoryCheck(MemoryCheck check) { memoryCheck_ = std::move(check); }
    // For a decoder that holds memory of its own that grows with the
    // picture, said before begin().
    void holdBeside(std::uint64_t bytes) { decoderBytes_ += bytes; }

    bool keepsColor() const { return keepColor_; }
    // 1 for gray, 3 once a colour row came with keepColor.
    int channels() const { return rgb_ ? 3 : 1; }

    // Turns the delivered picture upright as an EXIF orientation (1 to 8)
    // says it was taken: 2 to 4 mirror it in place, 5 to 8 rotate or
    // transpose it through the scratch array, whose memory then trades places
    // with the caller's, and swap width() and height(). Other values leave
    // the picture as stored.
    void orient(int orientation);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

    // Memory for a decoder that holds a whole picture in color before its
    // rows can be delivered: the caller's scratch array, or one of the
    // raster's own. orient() turns pictures in the same memory, so a
    // decoder is done with it before it calls orient().
    Bytes& scratch() { return scratch_ ? *scratch_ : ownScratch_; }

  private:
    void becomeRgb();

    Bytes& imgData_;
    Bytes* scratch_;
    Bytes ownScratch_;
    MemoryCheck memoryCheck_;
    std::uint64_t decoderBytes_ = 0;
    bool keepColor_ = false;
    bool rgb_ = false;
    bool grayTouched_ = false;  // gray rows that becoming RGB must expand
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

// The EXIF orientation (1 to 8) that shows a stored picture as
// `orientation` does and then turned clockwise by `quarterTurns` quarter
// turns (any whole number, taken modulo 4). An orientation outside 1 to 8
// counts as 1.
int orientationTurnedBy(int orientation, int quarterTurns);

// Turns `image` (gray or RGB) clockwise by `quarterTurns` quarter turns,
// taken modulo 4: a half turn in place, a quarter turn through `scratch`,
// whose memory then trades places with the image's raster (so that a
// scratch kept from picture to picture spares fresh memory), width and
// height swapped. Gray pictures go in 8 x 8 blocks, tile by tile.
void turnClockwise(GrayImage& image, int quarterTurns, Bytes& scratch);

}  // namespace folder2pdf
