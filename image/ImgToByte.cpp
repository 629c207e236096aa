#include "image/ImgToByte.h"

#include "common/System.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

namespace folder2pdf {

void ImgToByte::load(const std::string& path, GrayImage& image) {
    readWholeFile(path, fileBuffer_);
    loadBytes(fileBuffer_.data(), fileBuffer_.size(), image);
}

void ImgToByte::loadBytes(const std::uint8_t* data, std::size_t size, GrayImage& image) {
    if (size == 0) {
        throw Error(ErrorReason::Damaged, "subscript out of range: the file is empty");
    }
    GrayRaster raster(image.imgData, &turnScratch_);
    try {
        decodePicture(data, size, raster);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, "out of memory while decoding");
    }
    image.Width = raster.width();
    image.Height = raster.height();
}

}  // namespace folder2pdf
