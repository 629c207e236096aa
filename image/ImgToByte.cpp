#include "image/ImgToByte.h"

#include "common/System.h"
#include "image/Decoders.h"
#include "image/GrayRaster.h"

namespace folder2pdf {
void ImgToByte::readFile(const std::string& path) {
    readWholeFile(path, fileBuffer_);
}

void ImgToByte::load(const std::string& path, Bytes& imgData) {
    readFile(path);
    loadBytes(fileBuffer_.data(), fileBuffer_.size(), path, imgData);
}

void ImgToByte::loadBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                          Bytes& imgData) {
    if (size == 0) {
        throw Error(ErrorKind::SubscriptOutOfRange, ErrorReason::Damaged, name,
                    "subscript out of range: the file is empty");
    }
    GrayRaster raster(imgData, &turnScratch_);
    try {
        decodePicture(data, size, raster);
    } catch (const Error& error) {
        throw error.withFile(name);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorKind::OutOfMemory, ErrorReason::OutOfMemory, name,
                    "out of memory while decoding");
    }
    width_ = raster.width();
    height_ = raster.height();
}

}  // namespace folder2pdf
