#pragma once

#include <cstdint>
#include <string>

#include "common/Checked.h"

namespace folder2pdf {

// The grayscale picture loader. Reads a BMP, GIF, JPEG or PNG file (the
// format is told by its content, never by its name) and reduces it to one
// gray byte per pixel by the BT.601 rule of grayOf(). One loader serves every
// picture of a document; it keeps its file buffer from load to load so that
// large pictures don't pay for fresh memory each time.
class ImgToByte {
  public:
    // Replaces imgData by the picture's gray raster: Width() x Height()
    // bytes, rows from the top, each left to right. Throws Error naming the
    // file: FileError when it can't be read, SubscriptOutOfRange when it is
    // empty, Overflow when its size passes the signed 32-bit rules,
    // OutOfMemory, or DecodeError for anything the decoders refuse.
    // (C++ gives a member its class's name only as a constructor, hence load.)
    void load(const std::string& path, Bytes& imgData);

    // Size of the last picture loaded; 0 before the first load.
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }

    // The same from bytes already in memory; `name` only labels errors.
    void loadBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                   Bytes& imgData);

  private:
    void readFile(const std::string& path);

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    Bytes fileBuffer_;
    Bytes turnScratch_;  // where sideways photos are turned upright
};

}  // namespace folder2pdf
