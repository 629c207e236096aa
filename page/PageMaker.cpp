#include "page/PageMaker.h"

#include <zlib.h>

#include <new>
#include <utility>

#include "image/Decoders.h"
#include "image/GrayRaster.h"
#include "page/CompactEncoder.h"
#include "page/JpegEncoder.h"
#include "page/Palette.h"
#include "page/Resample.h"

namespace folder2pdf {

void compressRaster(Bytes& raster, Bytes& zipped, CompressFunction compressor) {
    const int result = CompressBytes(raster, zipped, compressor);
    if (result != Z_OK) {
        throw Error(result == Z_MEM_ERROR ? ErrorReason::OutOfMemory : ErrorReason::TooLarge,
                    "compression failed (zlib error " + std::to_string(result) + ")");
    }
    // CompressBytes leaves the stream in its first array and the raster in
    // the second: trading them back keeps each buffer to one use, so neither
    // grows to the other's size.
    std::swap(raster, zipped);
}

PageMaker::PageMaker(const DocumentOptions& options)
    : options_(options), compact_(std::make_unique<CompactEncoder>()) {}

PageMaker::~PageMaker() = default;

bool PageMaker::encodeFewerBits(PreparedPage& page) {
    const Bytes* samples = &image_.imgData;
    int bits = 8;
    if (image_.channels == 3) {
        if (!paletteOf(image_, page.palette, indices_)) {
            return false;
        }
        samples = &indices_;
        page.color = ColorKind::Indexed;
        bits = indexBits(page.palette.size() / 3);
        // Black and white, or a few grays, are gray levels: as few bits,
        // and no palette.
        if (grayPalette(page.palette, levels_) && levelBits(levels_) <= bits) {
            for (std::uint8_t& index : indices_) {
                index = levels_[index];
            }
            page.color = ColorKind::Gray;
            bits = levelBits(levels_);
        }
    } else {
        bits = levelBits(image_.imgData);
        if (bits == 8) {
            return false;
        }
    }
    const int step = page.color == ColorKind::Gray ? 255 / ((1 << bits) - 1) : 1;
    packRows(*samples, image_.Width, image_.Height, bits, step, packed_);
    page.bitsPerComponent = bits;
    if (options_.compression == Compression::Compact) {
        compact_->encodePacked(packed_, image_.Height, page);
    } else {
        compressRaster(packed_, page.stream);
    }
    return true;
}

void PageMaker::encode(PreparedPage& page) {
    page.bitsPerComponent = 8;
    page.kind = StreamKind::Flate;
    // Under a size limit, a page of few gray levels (text, line art) is
    // smaller lossless than as a JPEG, and keeps its pixels.
    if (options_.maxSize > 0 && image_.channels == 1 && levelBits(image_.imgData) < 8) {
        compact_->encode(image_, page);
        return;
    }
    if (options_.color && options_.compression != Compression::Jpeg && encodeFewerBits(page)) {
        return;
    }
    if (options_.compression == Compression::Jpeg && image_.Width <= maxJpegSide &&
        image_.Height <= maxJpegSide) {
        page.kind = StreamKind::Dct;
        const GrayImage& pixels =
            options_.pictureScale < 1 ? scaledDown(image_, options_.pictureScale, scaled_) : image_;
        page.Width = pixels.Width;
        page.Height = pixels.Height;
        page.colorTransform = pixels.channels == 3;  // libjpeg's JFIF YCbCr
        encodeJpeg(pixels, options_.jpegQuality, page.stream);
    } else if (options_.compression == Compression::Compact) {
        compact_->encode(image_, page);
    } else {
        compressRaster(image_.imgData, page.stream);
    }
}

bool PageMaker::keepJpeg(const Bytes& file, PreparedPage& page, int quarterTurns) {
    if (!sniffJpeg(file.data(), file.size())) {
        return false;
    }
    // A file the walk refuses is refused, as the decoder would.
    const JpegFacts facts = jpegWalk_.read(file.data(), file.size(), JpegEntropyCheck::Markers);
    if (!facts.trusted) {
        return false;
    }
    page.Width = facts.width;
    page.Height = facts.height;
    page.kind = StreamKind::Dct;
    page.bitsPerComponent = 8;
    page.color = facts.components == 4   ? ColorKind::Cmyk
                 : facts.components == 3 ? ColorKind::Rgb
                                         : ColorKind::Gray;
    page.colorTransform = facts.colorTransform;
    page.inverted = facts.components == 4 && facts.invertedCmyk;
    page.iccProfile = facts.iccProfile;
    page.stream.assign(file.data(), file.data() + facts.end);
    layOutStored(page, orientationTurnedBy(facts.exif.orientation, quarterTurns));
    return true;
}

bool PageMaker::keepFax(const Bytes& file, std::size_t index, PreparedPage& page,
                        int quarterTurns) {
    if (!readFaxStrip(file.data(), file.size(), index, fax_)) {
        return false;
    }
    page.Width = fax_.width;
    page.Height = fax_.height;
    page.kind = StreamKind::Fax;
    page.bitsPerComponent = 1;
    page.blackIs1 = fax_.blackIs1;
    page.stream.swap(fax_.code);
    layOutStored(page, orientationTurnedBy(fax_.orientation, quarterTurns));
    return true;
}

void PageMaker::layOutStored(PreparedPage& page, int orientation) const {
    const bool sideways = orientation >= 5 && orientation <= 8;
    page.layout = turnedLayout(layOutPage(options_, sideways ? page.Height : page.Width,
                                          sideways ? page.Width : page.Height),
                               orientation);
}

void PageMaker::prepare(const std::string& path, std::size_t index, PreparedPage& page,
                        int quarterTurns) {
    try {
        page.path = path;
        page.color = ColorKind::Gray;
        page.colorTransform = false;
        page.inverted = false;
        page.blackIs1 = false;
        page.iccProfile.clear();
        if (options_.color) {
            const Bytes& file = loader_.readFile(path);
            const bool lossless = options_.compression != Compression::Jpeg;
            if (lossless && keepJpeg(file, page, quarterTurns)) {
                return;
            }
            // Decoded first all the same, so that a page the default
            // refuses is refused here too.
            loader_.loadBytes(file.data(), file.size(), image_, index, true);
            if (lossless && keepFax(file, index, page, quarterTurns)) {
                return;
            }
        } else {
            loader_.load(path, image_, index);
        }
        if (quarterTurns % 4 != 0) {
            turnClockwise(image_, quarterTurns, turned_);
        }
        page.Width = image_.Width;
        page.Height = image_.Height;
        // The page is the picture's, whatever the pixels are scaled to.
        page.layout = layOutPage(options_, image_.Width, image_.Height);
        page.color = image_.channels == 3 ? ColorKind::Rgb : ColorKind::Gray;
        encode(page);
    } catch (const Error& error) {
        // The file system's errors name the file already.
        throw error.file().empty() ? error.withFile(path) : error;
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, path, "out of memory");
    }
}

}  // namespace folder2pdf
