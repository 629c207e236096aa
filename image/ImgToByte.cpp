#include "image/ImgToByte.h"

#include "common/System.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

namespace folder2pdf {

void ImgToByte::load(const std::string& path, GrayImage& image, std::size_t page) {
    readWholeFile(path, fileBuffer_);
    loadBytes(fileBuffer_.data(), fileBuffer_.size(), image, page);
}

const Bytes& ImgToByte::readFile(const std::string& path) {
    readWholeFile(path, fileBuffer_);
    return fileBuffer_;
}

void ImgToByte::loadBytes(const std::uint8_t* data, std::size_t size, GrayImage& image,
                          std::size_t page, bool keepColor) {
    if (size == 0) {
        throw Error(ErrorReason::Damaged, "the file is empty");
    }
    GrayRaster raster(image.imgData, &turnScratch_, keepColor);
    try {
        decodePicture(data, size, raster, page);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, "out of memory while decoding");
    }
    image.Width = raster.width();
    image.Height = raster.height();
    image.channels = raster.channels();
}

std::size_t ImgToByte::countPages(const std::string& path) {
    std::uint8_t start[sniffBytes];
    try {
        return countPages(path, start, readFileStart(path, start, sizeof start));
    } catch (const Error&) {
        return 1;
    }
}

std::size_t ImgToByte::countPages(const std::string& path, const std::uint8_t* start,
                                  std::size_t size) {
    if (!mayHoldSeveralPictures(start, size)) {
        return 1;
    }
    try {
        readWholeFile(path, fileBuffer_);
        return pictureCount(fileBuffer_.data(), fileBuffer_.size());
    } catch (const Error&) {
        return 1;
    }
}

}  // namespace folder2pdf
