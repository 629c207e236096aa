#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Checked.h"
#include "image/GrayImage.h"

namespace folder2pdf {

// The grayscale picture loader. Reads a BMP, GIF, JPEG, PNG, TIFF, WebP,
// HEIC or AVIF file (the format is told by its content, never by its name) and reduces it to one
// gray byte per pixel by the BT.601 rule of grayOf(). One loader serves every
// picture of a document; it keeps its file buffer from load to load so that
// large pictures don't pay for fresh memory each time.
class ImgToByte {
  public:
    // Replaces `image` by picture `page` (from 0; only a TIFF holds more
    // than one) of the file at `path`, reusing its raster's memory. Throws
    // Error: the file system's errors name the file (readWholeFile); the
    // others give the reason alone, for the caller to name the file:
    // Damaged when the file is empty or its bytes are broken, or hold no
    // such page, NotAPicture, TooLarge when its size passes the signed
    // 32-bit rules, OutOfMemory. (C++ gives
    // a member its class's name only as a constructor, hence load.)
    void load(const std::string& path, GrayImage& image, std::size_t page = 0);

    // The same from bytes already in memory. With `keepColor` a picture
    // that comes in colour keeps it (image.channels 3, see GrayRaster).
    void loadBytes(const std::uint8_t* data, std::size_t size, GrayImage& image,
                   std::size_t page = 0, bool keepColor = false);

    // Reads the file at `path` into the loader's buffer, which stays valid
    // until the next load or read: for a caller that looks at the bytes
    // before it decodes them with loadBytes().
    const Bytes& readFile(const std::string& path);

    // How many pictures load() finds in the file at `path`, 1 to
    // maxTiffPages (see pictureCount). Only a TIFF is read whole; of other
    // files the first bytes tell. Never throws: a file that can't be read,
    // or is damaged, counts as 1, and load() then says what is wrong.
    std::size_t countPages(const std::string& path);
    // The same for a file whose first `size` bytes, `start`, are read
    // already (a listing has read them to tell a picture by its content).
    std::size_t countPages(const std::string& path, const std::uint8_t* start, std::size_t size);

  private:
    Bytes fileBuffer_;
    Bytes turnScratch_;  // where sideways photos are turned upright
};

}  // namespace folder2pdf
