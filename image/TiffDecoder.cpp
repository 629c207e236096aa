#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "image/Decoders.h"
#include "image/Gray.h"

namespace folder2pdf {
namespace {

// No strip, tile, row or table of a picture we accept needs more than this
// in one piece: rows are read one at a time, and strips straight from the
// file's bytes. Only declared sizes built to exhaust memory pass it.
constexpr std::uint64_t kMaxBlockBytes = 256u << 20;

// ---------------------------------------------------------------------------
// The file's bytes as libtiff reads them: through the client procedures, and
// mapped, so that strips are decoded straight from our buffer without a copy.

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

tmsize_t readSource(thandle_t handle, void* buffer, tmsize_t count) {
    auto* source = static_cast<Source*>(handle);
    const std::size_t left = source->position < source->size ? source->size - source->position : 0;
    const std::size_t n = std::min(left, static_cast<std::size_t>(std::max<tmsize_t>(count, 0)));
    std::memcpy(buffer, source->data + source->position, n);
    source->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekSource(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<Source*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) {
        base = source->position;
    } else if (whence == SEEK_END) {
        base = source->size;
    }
    // Positions past the end are kept (a read there gets nothing); past
    // 64 bits they are refused.
    if (offset > std::numeric_limits<toff_t>::max() - base) {
        return static_cast<toff_t>(-1);
    }
    const toff_t position = base + offset;
    source->position = position > source->size ? source->size : static_cast<std::size_t>(position);
    return position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t sourceSize(thandle_t handle) {
    return static_cast<Source*>(handle)->size;
}

int mapSource(thandle_t handle, void** base, toff_t* size) {
    auto* source = static_cast<Source*>(handle);
    // libtiff only reads a file it opened for reading: when a strip's bits
    // must be reversed, it copies them first.
    *base = const_cast<std::uint8_t*>(source->data);
    *size = source->size;
    return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// ---------------------------------------------------------------------------
// libtiff's messages, per file: the first error is kept, as the reason; the
// warnings (unknown tags, odd but readable values) are dropped.

struct Messages {
    std::string error;
    bool overLimit = false;  // an allocation refused by kMaxBlockBytes
};

int onError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* messages = static_cast<Messages*>(user);
    if (messages->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        messages->error = text;
        messages->overLimit =
            messages->error.find("limit defined in open options") != std::string::npos;
    }
    return 1;  // handled: the process-wide handlers are not called
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Messages of calls made before a file has its handlers go to the
// process-wide handlers, which print on stderr: they are silenced once.
void silenceProcessHandlers() {
    static const bool silenced = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)silenced;
}

struct Closer {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, Closer>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// A decode error for libtiff's message, or `otherwise` when it gave none.
[[noreturn]] void fail(const Messages& messages, const std::string& otherwise) {
    if (messages.error.empty()) {
        throw Error(ErrorReason::Damaged, "TIFF: " + otherwise);
    }
    Error error = libraryError(messages.error, "TIFF");
    if (messages.overLimit) {
        throw Error(ErrorReason::TooLarge, error.what());
    }
    throw error;
}

// Opened on its header only ("h"): every page, the first too, is then read
// by TIFFSetDirectory, and a broken first directory doesn't hide the others.
TiffHandle openTiff(Source& source, Messages& messages) {
    silenceProcessHandlers();
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        throw Error(ErrorReason::OutOfMemory, "out of memory (starting libtiff)");
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kMaxBlockBytes));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &messages);
    TiffHandle tif(TIFFClientOpenExt("TIFF", "rh", &source, readSource, writeNothing, seekSource,
                                     closeNothing, sourceSize, mapSource, unmapNothing,
                                     options.get()));
    if (!tif) {
        fail(messages, "not a readable TIFF header");
    }
    return tif;
}

// ---------------------------------------------------------------------------
// Layouts read directly, row by row: one plane of unsigned samples of 1, 2,
// 4, 8 or 16 bits in gray, palette colors, RGB or CMYK, with or without an
// alpha sample. 16-bit samples become 8 bits by rounding v * 255 / 65535 to
// nearest ((v * 255 + 32767) / 65535), as the PNG decoder does; fewer bits
// scale up exactly (a 1-bit 1 is 255, a 4-bit 1 is 17).

enum class Colors { Gray, InvertedGray, Palette, Rgb, Cmyk };

struct Layout {
    Colors colors = Colors::Gray;
    int bits = 8;             // a sample
    int samples = 1;          // a pixel, alpha and any other extra samples included
    int alpha = -1;           // which sample is alpha, or -1
    bool associated = false;  // colors premultiplied by alpha
    std::array<std::array<std::uint8_t, 256>, 3> palette{};
};

std::uint8_t to8(std::uint32_t sample16) {
    return static_cast<std::uint8_t>((sample16 * 255 + 32767) / 65535);
}

// The colormap as 8-bit levels. Some old writers store 8-bit values in its
// 16-bit entries; as libtiff's own reader does, a map with no entry above
// 255 is taken as such.
void readPalette(TIFF* tif, Layout& layout) {
    std::uint16_t* maps[3] = {};
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2])) {
        return;  // TIFFReadDirectory refuses a palette picture without one
    }
    const std::size_t entries = std::size_t{1} << layout.bits;
    bool eightBit = true;
    for (const std::uint16_t* map : maps) {
        eightBit = eightBit && std::all_of(map, map + entries, [](auto v) { return v < 256; });
    }
    for (int c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < entries; ++i) {
            layout.palette[c][i] =
                eightBit ? static_cast<std::uint8_t>(maps[c][i]) : to8(maps[c][i]);
        }
    }
}

std::optional<Colors> colorsOf(TIFF* tif, std::uint16_t photometric, std::uint16_t compression) {
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
            return Colors::Gray;
        case PHOTOMETRIC_MINISWHITE:
            return Colors::InvertedGray;
        case PHOTOMETRIC_PALETTE:
            return Colors::Palette;
        case PHOTOMETRIC_RGB:
            return Colors::Rgb;
        case PHOTOMETRIC_YCBCR:
            if (compression != COMPRESSION_JPEG) {
                return std::nullopt;
            }
            // libjpeg turns YCbCr into RGB, upsampling the chroma.
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            return Colors::Rgb;
        case PHOTOMETRIC_SEPARATED: {
            std::uint16_t inks = INKSET_CMYK;
            TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
            if (inks != INKSET_CMYK) {
                return std::nullopt;
            }
            return Colors::Cmyk;
        }
        default:
            return std::nullopt;
    }
}

int colorSamplesOf(Colors colors) {
    switch (colors) {
        case Colors::Rgb:
            return 3;
        case Colors::Cmyk:
            return 4;
        default:
            return 1;
    }
}

// The layout of the current page when it is one of those above; nothing
// when it is another, for TIFFRGBAImage to read.
std::optional<Layout> directLayout(TIFF* tif) {
    std::uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    std::uint16_t photometric = 0, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) ||
        (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) ||
        (planar != PLANARCONFIG_CONTIG && samples > 1)) {
        return std::nullopt;
    }
    const std::optional<Colors> colors = colorsOf(tif, photometric, compression);
    const bool palette = colors == Colors::Palette;
    if (!colors ||
        !(bits == 1 || bits == 2 || bits == 4 || bits == 8 || (bits == 16 && !palette))) {
        return std::nullopt;
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    const int colorSamples = colorSamplesOf(*colors);
    // More than a few extra samples: a layout for the RGBA reader to judge.
    if (samples - extraCount != colorSamples || samples > colorSamples + 4) {
        return std::nullopt;
    }
    Layout layout;
    layout.colors = *colors;
    layout.bits = bits;
    layout.samples = samples;
    for (int i = 0; i < extraCount; ++i) {
        if (extraTypes[i] == EXTRASAMPLE_ASSOCALPHA || extraTypes[i] == EXTRASAMPLE_UNASSALPHA) {
            layout.alpha = colorSamples + i;
            layout.associated = extraTypes[i] == EXTRASAMPLE_ASSOCALPHA;
            break;
        }
    }
    if (palette) {
        readPalette(tif, layout);
    }
    return layout;
}

// The bytes of `pixels` pixels of `layout`, a row of a strip or a tile.
std::uint64_t rowBytes(const Layout& layout, std::uint64_t pixels) {
    return (pixels * static_cast<std::uint64_t>(layout.samples * layout.bits) + 7) / 8;
}

std::uint8_t composeOverWhite(std::uint8_t value, std::uint8_t alpha, bool associated) {
    if (associated) {  // the color's share is in `value` already
        return static_cast<std::uint8_t>(std::min(255, value + 255 - alpha));
    }
    return overWhite(value, alpha);
}

// Turns runs of stored pixels into gray levels, through two row buffers
// sized once for the widest run.
class RowConverter {
  public:
    RowConverter(const Layout& layout, std::int32_t width) : layout_(layout) {
        const auto pixels = static_cast<std::size_t>(width);
        resizeBytes(samples_, pixels * static_cast<std::size_t>(layout.samples));
        if (layout.colors != Colors::Gray && layout.colors != Colors::InvertedGray) {
            resizeBytes(rgbx_, 4 * pixels);
        }
    }

    void toGray(const std::uint8_t* stored, std::int32_t count, std::uint8_t* gray) {
        const auto pixels = static_cast<std::size_t>(count);
        const auto n = static_cast<std::size_t>(layout_.samples);
        const std::uint8_t* s = widen(stored, pixels * n);
        const bool hasAlpha = layout_.alpha >= 0;
        const auto alpha = static_cast<std::size_t>(std::max(layout_.alpha, 0));
        const bool associated = layout_.associated;
        if (layout_.colors == Colors::Gray || layout_.colors == Colors::InvertedGray) {
            const std::uint8_t flip = layout_.colors == Colors::InvertedGray ? 255 : 0;
            for (std::size_t x = 0; x < pixels; ++x) {
                const auto v = static_cast<std::uint8_t>(s[x * n] ^ flip);
                gray[x] = hasAlpha ? composeOverWhite(v, s[x * n + alpha], associated) : v;
            }
            return;
        }
        std::uint8_t* rgbx = rgbx_.data();
        for (std::size_t x = 0; x < pixels; ++x) {
            const std::uint8_t* pixel = s + x * n;
            if (layout_.colors == Colors::Palette) {
                for (int c = 0; c < 3; ++c) {
                    rgbx[4 * x + c] = layout_.palette[c][pixel[0]];
                }
            } else {
                std::memcpy(rgbx + 4 * x, pixel, layout_.colors == Colors::Cmyk ? 4 : 3);
            }
        }
        if (layout_.colors == Colors::Cmyk) {
            cmykRowToRgbx(rgbx, rgbx, count, false);
        }
        for (std::size_t x = 0; x < pixels && hasAlpha; ++x) {
            const std::uint8_t a = s[x * n + alpha];
            for (int c = 0; c < 3; ++c) {
                rgbx[4 * x + c] = composeOverWhite(rgbx[4 * x + c], a, associated);
            }
        }
        rgbxRowToGray(rgbx, gray, count);
    }

  private:
    // `count` samples as 8-bit values: palette indices as they are, the
    // other samples scaled to 0..255.
    const std::uint8_t* widen(const std::uint8_t* stored, std::size_t count) {
        std::uint8_t* out = samples_.data();
        const int bits = layout_.bits;
        if (bits == 8) {
            return stored;
        }
        if (bits == 16) {
            for (std::size_t i = 0; i < count; ++i) {
                std::uint16_t v;  // libtiff has put it in the machine's byte order
                std::memcpy(&v, stored + 2 * i, 2);
                out[i] = to8(v);
            }
            return out;
        }
        const unsigned mask = (1u << bits) - 1;
        const auto samples = static_cast<std::size_t>(layout_.samples);
        const bool palette = layout_.colors == Colors::Palette;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t bit = i * static_cast<std::size_t>(bits);
            const unsigned v = stored[bit / 8] >> (8 - bits - bit % 8) & mask;
            const bool index = palette && i % samples == 0;
            out[i] = static_cast<std::uint8_t>(index ? v : v * (255 / mask));
        }
        return out;
    }

    const Layout& layout_;
    Bytes samples_;
    Bytes rgbx_;
};

// A block of `rows` rows of `rowBytes` bytes each, refused when empty or
// past kMaxBlockBytes.
void checkBlock(std::uint64_t rowBytes, std::uint64_t rows, const char* what) {
    if (rowBytes == 0 || rows == 0) {
        throw Error(ErrorReason::Damaged, std::string("TIFF: ") + what + " of no bytes");
    }
    if (rowBytes > kMaxBlockBytes / rows) {
        throw Error(ErrorReason::TooLarge,
                    std::string("TIFF: ") + what + " of " + std::to_string(rows) + " x " +
                        std::to_string(rowBytes) + " bytes passes the 268435456-byte limit");
    }
}

// Strips: one row at a time, decoded by libtiff in order.
void readStrips(TIFF* tif, const Layout& layout, GrayRaster& out, const Messages& messages) {
    const std::int32_t width = out.width();
    const std::uint64_t bytes = rowBytes(layout, static_cast<std::uint64_t>(width));
    checkBlock(bytes, 1, "a row");
    if (static_cast<std::uint64_t>(TIFFScanlineSize64(tif)) != bytes) {
        fail(messages, "rows of an unexpected size");
    }
    const bool plainGray = layout.colors == Colors::Gray && layout.bits == 8 && layout.samples == 1;
    Bytes row;
    std::optional<RowConverter> converter;
    if (!plainGray) {
        resizeBytes(row, static_cast<std::size_t>(bytes));
        converter.emplace(layout, width);
    }
    for (std::int32_t y = 0; y < out.height(); ++y) {
        std::uint8_t* target = plainGray ? out.row(y) : row.data();
        if (TIFFReadScanline(tif, target, static_cast<std::uint32_t>(y), 0) < 0 ||
            !messages.error.empty()) {
            fail(messages, "cannot read row " + std::to_string(y));
        }
        if (!plainGray) {
            converter->toGray(row.data(), width, out.row(y));
        }
    }
}

// Tiles: each decoded whole, its rows clipped at the picture's right and
// bottom edges.
void readTiles(TIFF* tif, const Layout& layout, GrayRaster& out, const Messages& messages) {
    std::uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    const std::uint64_t tileRow = rowBytes(layout, tileWidth);
    checkBlock(tileRow, tileHeight, "a tile");
    if (static_cast<std::uint64_t>(TIFFTileSize64(tif)) != tileRow * tileHeight) {
        fail(messages, "tiles of an unexpected size");
    }
    Bytes tile;
    resizeBytes(tile, static_cast<std::size_t>(tileRow * tileHeight));
    const auto width = static_cast<std::uint32_t>(out.width());
    const auto height = static_cast<std::uint32_t>(out.height());
    RowConverter converter(layout, static_cast<std::int32_t>(std::min(tileWidth, width)));
    for (std::uint32_t top = 0; top < height; top += std::min(tileHeight, height - top)) {
        for (std::uint32_t left = 0; left < width; left += std::min(tileWidth, width - left)) {
            if (TIFFReadTile(tif, tile.data(), left, top, 0, 0) < 0 || !messages.error.empty()) {
                fail(messages, "cannot read the tile at " + std::to_string(left) + ", " +
                                   std::to_string(top));
            }
            const auto columns = static_cast<std::int32_t>(std::min(tileWidth, width - left));
            for (std::uint32_t r = 0; r < tileHeight && top + r < height; ++r) {
                converter.toGray(tile.data() + r * tileRow, columns,
                                 out.row(static_cast<std::int32_t>(top + r)) + left);
            }
        }
    }
}

// Every other layout libtiff knows (separate planes, YCbCr, CIE L*a*b*,
// LogLuv, old-style JPEG...) through its RGBA reader, a strip or a row of
// tiles at a time. Its pixels come premultiplied by alpha, opaque ones with
// alpha 255.
void readThroughRgba(TIFF* tif, GrayRaster& out, const Messages& messages) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        throw libraryError(message, "TIFF");
    }
    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif, 1, message)) {
        throw libraryError(message, "TIFF");
    }
    struct End {
        TIFFRGBAImage& image;
        ~End() { TIFFRGBAImageEnd(&image); }
    } end{image};
    // The rows as stored, top row first: orient() turns the picture after.
    image.req_orientation = ORIENTATION_TOPLEFT;
    image.orientation = ORIENTATION_TOPLEFT;

    std::uint32_t band = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    }
    const auto width = static_cast<std::uint32_t>(out.width());
    const auto height = static_cast<std::uint32_t>(out.height());
    band = std::clamp<std::uint32_t>(band, 1, height);
    checkBlock(std::uint64_t{4} * width, band, "a strip in RGBA");
    std::vector<std::uint32_t> pixels(std::size_t{width} * band);
    Bytes rgbx;
    resizeBytes(rgbx, 4 * std::size_t{width});
    for (std::uint32_t top = 0; top < height; top += band) {
        const std::uint32_t rows = std::min(band, height - top);
        image.row_offset = static_cast<int>(top);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, pixels.data(), width, rows) || !messages.error.empty()) {
            fail(messages, "cannot read rows from " + std::to_string(top));
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t* row = pixels.data() + std::size_t{r} * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint32_t p = row[x];
                const auto a = static_cast<std::uint8_t>(TIFFGetA(p));
                rgbx[4 * x] = composeOverWhite(static_cast<std::uint8_t>(TIFFGetR(p)), a, true);
                rgbx[4 * x + 1] = composeOverWhite(static_cast<std::uint8_t>(TIFFGetG(p)), a, true);
                rgbx[4 * x + 2] = composeOverWhite(static_cast<std::uint8_t>(TIFFGetB(p)), a, true);
            }
            out.putRgbxRow(static_cast<std::int32_t>(top + r), rgbx.data());
        }
    }
}

// Uncompressed rows are all in the file: a picture they can't fit in is
// refused before its raster is allocated. (Compressed ones may hold any
// number of rows in a few bytes, a blank fax page for one.)
void checkDataCanHold(TIFF* tif, const Layout& layout, std::uint32_t width, std::uint32_t height,
                      std::size_t size) {
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const std::uint64_t row = rowBytes(layout, width);
    if (compression == COMPRESSION_NONE && row > size / height) {
        std::uint64_t needed = 0;
        const bool huge = __builtin_mul_overflow(row, std::uint64_t{height}, &needed);
        throw Error(ErrorReason::Damaged, "truncated TIFF: " + std::to_string(width) + " x " +
                                              std::to_string(height) +
                                              " uncompressed pixels need " +
                                              (huge ? "over 2^64" : std::to_string(needed)) +
                                              " bytes, the file has " + std::to_string(size));
    }
}

// libtiff's sizes are unsigned 32-bit; past the signed range they are too
// large for the loader's rules anyway.
void checkTiffSize(std::uint32_t width, std::uint32_t height) {
    if (width > INT32_MAX || height > INT32_MAX) {
        throw Error(ErrorReason::TooLarge, "picture too large: " + std::to_string(width) + " x " +
                                               std::to_string(height) + " pixels");
    }
    GrayRaster::checkSize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
}

// ---------------------------------------------------------------------------
// The chain of directories, walked for pictureCount() without libtiff: a
// header, then at each directory its entry count, the entries and the next
// directory's offset, 0 after the last. A directory counts when all of it
// lies in the file; a chain that leaves the file ends there.

struct Chain {
    const std::uint8_t* data;
    std::size_t size;
    bool bigEndian;
    bool big;  // BigTIFF: 8-byte counts and offsets, 20-byte entries

    // The `bytes`-byte number at `at`, or nothing past the end.
    std::optional<std::uint64_t> number(std::uint64_t at, int bytes) const {
        if (at > size || size - at < static_cast<std::uint64_t>(bytes)) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const int byte = bigEndian ? i : bytes - 1 - i;
            value = value << 8 | data[at + static_cast<std::uint64_t>(byte)];
        }
        return value;
    }
};

}  // namespace

bool sniffTiff(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t signatures[4][4] = {
        {'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
    return size >= 4 && std::any_of(std::begin(signatures), std::end(signatures),
                                    [&](const auto& s) { return std::memcmp(data, s, 4) == 0; });
}

std::size_t tiffPageCount(const std::uint8_t* data, std::size_t size) {
    if (!sniffTiff(data, size)) {
        return 1;
    }
    const Chain chain{data, size, data[0] == 'M', data[2] == 43 || data[3] == 43};
    const int offsetBytes = chain.big ? 8 : 4;
    const int countBytes = chain.big ? 8 : 2;
    const std::uint64_t entryBytes = chain.big ? 20 : 12;
    std::optional<std::uint64_t> offset = chain.number(chain.big ? 8 : 4, offsetBytes);
    std::set<std::uint64_t> seen;
    while (offset && *offset != 0 && seen.size() < maxTiffPages && !seen.count(*offset)) {
        const std::optional<std::uint64_t> entries = chain.number(*offset, countBytes);
        // libtiff refuses more than 65535 entries too.
        if (!entries || *entries > 0xFFFF) {
            break;
        }
        const std::optional<std::uint64_t> next =
            chain.number(*offset + countBytes + *entries * entryBytes, offsetBytes);
        if (!next) {
            break;
        }
        seen.insert(*offset);
        offset = next;
    }
    return std::max<std::size_t>(seen.size(), 1);
}

void decodeTiff(const std::uint8_t* data, std::size_t size, GrayRaster& out, std::size_t page) {
    Source source{data, size, 0};
    Messages messages;
    const TiffHandle tif = openTiff(source, messages);
    if (page >= maxTiffPages || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page))) {
        const std::size_t pages = tiffPageCount(data, size);
        if (page < pages) {
            fail(messages, "cannot read page " + std::to_string(page + 1));
        }
        throw Error(ErrorReason::Damaged, "TIFF: no page " + std::to_string(page + 1) +
                                              ": the file holds " + std::to_string(pages) +
                                              (pages == 1 ? " page" : " pages"));
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    checkTiffSize(width, height);

    const std::optional<Layout> layout = directLayout(tif.get());
    if (layout) {
        checkDataCanHold(tif.get(), *layout, width, height, size);
    }
    out.begin(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    // Kept in colour, colour pictures come through libtiff's RGBA reading,
    // where it can read them; the direct layouts make gray levels.
    char unreadable[1024];
    const bool inColor = layout && out.keepsColor() && layout->colors != Colors::Gray &&
                         layout->colors != Colors::InvertedGray &&
                         TIFFRGBAImageOK(tif.get(), unreadable);
    if (!layout || inColor) {
        readThroughRgba(tif.get(), out, messages);
    } else if (TIFFIsTiled(tif.get())) {
        readTiles(tif.get(), *layout, out, messages);
    } else {
        readStrips(tif.get(), *layout, out, messages);
    }
    // TIFF's orientation values are those EXIF took over.
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    out.orient(orientation);
}

namespace {

// Whether the page libtiff has read is a lone strip of Group 4 code that a
// PDF reader decodes to the same pixels: the filter knows neither bits
// stored least significant first nor Group 4's uncompressed mode.
bool isFaxStrip(TIFF* tif) {
    std::uint16_t compression = COMPRESSION_NONE, bits = 1, samples = 1, fillOrder = 0;
    std::uint16_t photometric = 0xFFFF;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_CCITTFAX4 || TIFFIsTiled(tif) || TIFFNumberOfStrips(tif) != 1) {
        return false;
    }
    std::uint32_t options = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP4OPTIONS, &options);
    return bits == 1 && samples == 1 && fillOrder == FILLORDER_MSB2LSB &&
           (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) &&
           (options & GROUP4OPT_UNCOMPRESSED) == 0;
}

}  // namespace

bool readFaxStrip(const std::uint8_t* data, std::size_t size, std::size_t page, FaxStrip& strip) {
    if (!sniffTiff(data, size) || page >= maxTiffPages) {
        return false;
    }
    Source source{data, size, 0};
    Messages messages;
    const TiffHandle tif = openTiff(source, messages);
    if (!TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page)) || !isFaxStrip(tif.get())) {
        return false;
    }
    std::uint32_t width = 0, height = 0;
    std::uint16_t photometric = 0, orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    checkTiffSize(width, height);
    // The strip is read from the file's bytes, so it can't be longer.
    const std::uint64_t bytes = TIFFRawStripSize64(tif.get(), 0);
    if (bytes == 0 || bytes > size || bytes > kMaxBlockBytes) {
        return false;
    }
    resizeBytes(strip.code, static_cast<std::size_t>(bytes));
    if (TIFFReadRawStrip(tif.get(), 0, strip.code.data(), static_cast<tmsize_t>(bytes)) !=
            static_cast<tmsize_t>(bytes) ||
        !messages.error.empty()) {
        return false;
    }
    strip.width = static_cast<std::int32_t>(width);
    strip.height = static_cast<std::int32_t>(height);
    strip.blackIs1 = photometric == PHOTOMETRIC_MINISBLACK;
    strip.orientation = orientation;
    return true;
}

}  // namespace folder2pdf
