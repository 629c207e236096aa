#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/Decoders.h"
#include "image/Gray.h"
#include "image/HeifStructure.h"
#include "image/JpegStructure.h"

namespace folder2pdf {
namespace {

// libheif refuses pictures wider or taller than 32768 pixels unless told
// otherwise. The loader's rules allow a side up to a 24-bit row of 2^31
// bytes, and checkSize() holds the primary picture to them before it is
// decoded, so libheif's limit is set to that side.
constexpr int kMaxSide = 715827882;  // (2^31 - 1) / 3, rounded down to whole pixels

// The brands a HEIF file's "ftyp" box may start with: still pictures and
// sequences of HEVC (HEIC), AV1 (AVIF) or any codec (mif1, msf1).
constexpr const char* kBrands[] = {"heic", "heix", "hevc", "hevx", "heim",
                                   "heis", "mif1", "msf1", "avif", "avis"};

bool isAvif(const std::uint8_t* data, std::size_t size) {
    return size >= 12 &&
           (std::memcmp(data + 8, "avif", 4) == 0 || std::memcmp(data + 8, "avis", 4) == 0);
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// libheif's message ("Invalid input: No 'ftyp' box") as the reason, under the
// file's own name for its format.
void check(const heif_error& error, const char* format) {
    if (error.code == heif_error_Ok) {
        return;
    }
    std::string message = error.message;
    // Some of its messages end with a line break.
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    if (error.code == heif_error_Memory_allocation_error) {
        if (error.subcode == heif_suberror_Security_limit_exceeded) {
            throw Error(ErrorReason::TooLarge, std::string(format) + ": " + message);
        }
        throw Error(ErrorReason::OutOfMemory,
                    std::string("out of memory (decoding ") + format + ")");
    }
    throw libraryError(message, format);
}

// The primary picture as libheif decodes it: turned and mirrored as its
// irot and imir properties say (libheif applies them unless told not to),
// cropped by clap, 8 bits a sample, R, G, B and alpha when it has one.
std::unique_ptr<heif_image, ImageRelease> decodePrimary(heif_image_handle* handle, bool alpha,
                                                        const char* format) {
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    if (!options) {
        throw Error(ErrorReason::OutOfMemory,
                    std::string("out of memory (decoding ") + format + ")");
    }
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    // AV1 through libaom rather than dav1d: libheif sets dav1d up to print
    // its complaints on stderr and to start a thread per core for each
    // picture, with no way to change either. (Without an aom decoder,
    // libheif takes dav1d all the same.)
    options->decoder_id = "aom";
    heif_image* image = nullptr;
    check(heif_decode_image(handle, &image, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            options.get()),
          format);
    return std::unique_ptr<heif_image, ImageRelease>(image);
}

}  // namespace

bool sniffHeif(const std::uint8_t* data, std::size_t size) {
    return size >= 12 && std::memcmp(data + 4, "ftyp", 4) == 0 &&
           std::any_of(std::begin(kBrands), std::end(kBrands),
                       [&](const char* brand) { return std::memcmp(data + 8, brand, 4) == 0; });
}

// Only the primary picture is read: the others of a collection or a burst,
// thumbnails and depth maps are left out; an alpha plane is composed over
// white paper.
void decodeHeif(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    const char* format = isAvif(data, size) ? "AVIF" : "HEIF";
    // No heif_init(): the decoders built into libheif are registered as it
    // loads, and heif_init() would add plugins from a folder of the system.
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        throw Error(ErrorReason::OutOfMemory, std::string("out of memory (starting libheif)"));
    }
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    // Pages are decoded on a worker per core already.
    heif_context_set_max_decoding_threads(context.get(), 0);
    check(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr), format);
    heif_image_handle* primary = nullptr;
    check(heif_context_get_primary_image_handle(context.get(), &primary), format);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);

    // The size as shown, after rotation and cropping.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    GrayRaster::checkSize(width, height);
    const std::uint64_t declared =
        std::uint64_t(std::max(heif_image_handle_get_ispe_width(handle.get()), 0)) *
        std::uint64_t(std::max(heif_image_handle_get_ispe_height(handle.get()), 0));
    checkHeifDeclaredSizes(data, size, declared);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
    out.begin(width, height);

    const auto image = decodePrimary(handle.get(), alpha, format);
    const int channels = alpha ? 4 : 3;
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr || stride / channels < width ||
        heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        throw Error(ErrorReason::Damaged,
                    std::string(format) + ": the decoded picture is not the one announced");
    }
    Bytes rgbx;
    resizeBytes(rgbx, 4 * static_cast<std::size_t>(width));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row =
            plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const std::uint8_t* pixel = row + channels * x;
            const std::uint8_t a = alpha ? pixel[3] : 255;
            for (int c = 0; c < 3; ++c) {
                rgbx[4 * x + c] = !alpha ? pixel[c]
                                  : premultiplied
                                      ? static_cast<std::uint8_t>(std::min(255, pixel[c] + 255 - a))
                                      : overWhite(pixel[c], a);
            }
        }
        out.putRgbxRow(y, rgbx.data());
    }
}

std::string heifDateTaken(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    heif_image_handle* primary = nullptr;
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) {
        return {};
    }
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);
    heif_item_id exif = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", &exif, 1) != 1) {
        return {};
    }
    // The item opens with the offset of the TIFF header after these 4 bytes.
    std::vector<std::uint8_t> item(heif_image_handle_get_metadata_size(handle.get(), exif));
    if (item.size() < 4 || item.size() > size ||
        heif_image_handle_get_metadata(handle.get(), exif, item.data()).code != heif_error_Ok) {
        return {};
    }
    const std::uint64_t skip = (std::uint64_t{item[0]} << 24 | std::uint64_t{item[1]} << 16 |
                                std::uint64_t{item[2]} << 8 | item[3]) + 4;
    if (skip >= item.size()) {
        return {};
    }
    return readExif(item.data() + skip, item.size() - skip).dateTimeOriginal;
}

}  // namespace folder2pdf
