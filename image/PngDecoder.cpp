#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "image/Decoders.h"
#include "image/Gray.h"

namespace folder2pdf {
namespace {

// Everything libpng's callbacks touch, plain C data: a longjmp may skip any
// frame that uses it without losing a destructor.
struct Session {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitsPerPixel = 0;  // as stored in the file
    int colorType = 0;
    bool interlaced = false;
    bool transparency = false;  // a tRNS chunk
    char message[256] = {};
    char warning[256] = {};  // the last one
};

struct SessionCleanup {
    Session& session;
    ~SessionCleanup() { png_destroy_read_struct(&session.png, &session.info, nullptr); }
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* session = static_cast<Session*>(png_get_error_ptr(png));
    std::snprintf(session->message, sizeof session->message, "%s", message);
    png_longjmp(png, 1);
}

// Benign problems (an invalid ancillary chunk, extra compressed data) leave
// the pixels intact; the default handler would print them on stderr. The
// last one is kept: libpng explains a bad IHDR only in warnings.
void onWarning(png_structp png, png_const_charp message) {
    auto* session = static_cast<Session*>(png_get_error_ptr(png));
    std::snprintf(session->warning, sizeof session->warning, "%s", message);
}

void readBytes(png_structp png, png_bytep out, std::size_t count) {
    auto* session = static_cast<Session*>(png_get_io_ptr(png));
    if (count > session->size - session->position) {
        png_error(png, "premature end of PNG data");
    }
    std::memcpy(out, session->data + session->position, count);
    session->position += count;
}

// The one place where libpng's longjmp lands. Runs `step` and tells whether
// it finished; when libpng failed, the reason is in session.message.
// `step` and what it calls keep only trivially destructible locals.
template <typename Step>
bool guarded(Session& session, Step&& step) {
    if (setjmp(png_jmpbuf(session.png)) != 0) {
        return false;
    }
    step();
    return true;
}

Error decodeError(const Session& session) {
    std::string reason = session.message;
    if (reason == "Invalid IHDR data" && session.warning[0] != '\0') {
        reason += std::string(" (") + session.warning + ")";
    }
    return libraryError(reason, "PNG");
}

// Reads the chunks up to the first IDAT and asks libpng for 8-bit gray,
// gray + alpha, RGBX or RGBA rows (four bytes a color pixel convert to gray
// much faster than three).
void readHeader(Session& session) {
    png_structp png = session.png;
    png_set_read_fn(png, &session, readBytes);
    // libpng's row buffers grow with the width, so its default cap of a
    // million columns stays; the height is left to GrayRaster::begin.
    png_set_user_limits(png, PNG_USER_WIDTH_MAX, PNG_UINT_31_MAX);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Mutated inputs would hardly ever get past a checksum to the code
    // behind it.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#else
    // A damaged chunk of any kind means a damaged file.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
#endif
    // Only tRNS among the ancillary chunks changes what we draw (no gamma,
    // no background color): skip the rest, text and profiles unread.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, session.info);

    int bitDepth = 0;
    int interlace = 0;
    png_get_IHDR(png, session.info, &session.width, &session.height, &bitDepth, &session.colorType,
                 &interlace, nullptr, nullptr);
    session.interlaced = interlace != PNG_INTERLACE_NONE;
    session.bitsPerPixel = bitDepth * png_get_channels(png, session.info);
    session.transparency = png_get_valid(png, session.info, PNG_INFO_tRNS) != 0;
    if (bitDepth == 16) {
        png_set_scale_16(png);  // rounds v * 255 / 65535 to nearest
    }
    if (session.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (session.colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (session.transparency) {
        png_set_tRNS_to_alpha(png);
    } else if (session.colorType == PNG_COLOR_TYPE_RGB ||
               session.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    }
}

bool hasAlpha(const Session& session) {
    return session.transparency || (session.colorType & PNG_COLOR_MASK_ALPHA) != 0;
}

// Bytes a pixel of the rows that readHeader asked for.
int outputChannels(const Session& session) {
    const int alpha = session.transparency ? 1 : 0;
    switch (session.colorType) {
        case PNG_COLOR_TYPE_GRAY:
            return 1 + alpha;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        default:  // RGBA; RGB and palette with alpha or a filler byte
            return 4;
    }
}

// Composes `count` pixels over white, in place: gray + alpha (channels 2)
// becomes one gray byte a pixel, RGBA (channels 4) RGBX. Each write lands at
// or before the samples still to be read.
void composeOverWhite(std::uint8_t* row, std::int32_t count, int channels) {
    const int colors = channels - 1;
    const int stride = channels == 2 ? 1 : 4;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t alpha = row[i * channels + colors];
        for (int c = 0; c < colors; ++c) {
            row[i * stride + c] = overWhite(row[i * channels + c], alpha);
        }
    }
}

void readSequentialRows(Session& session, GrayRaster& out, int channels, std::uint8_t* row) {
    for (std::int32_t y = 0; y < out.height(); ++y) {
        if (channels == 1) {
            png_read_row(session.png, out.row(y), nullptr);
            continue;
        }
        png_read_row(session.png, row, nullptr);
        if (hasAlpha(session)) {
            composeOverWhite(row, out.width(), channels);
        }
        if (channels == 2) {
            out.putGrayRow(y, row);
        } else {
            out.putRgbxRow(y, row);
        }
    }
}

// Reads the next row of `count` pixels into `row` and returns its gray
// levels: `row` itself unless the pixels are RGBX, which `grayRow` receives.
const std::uint8_t* readGrayRow(Session& session, std::int32_t count, int channels,
                                std::uint8_t* row, std::uint8_t* grayRow) {
    png_read_row(session.png, row, nullptr);
    if (hasAlpha(session)) {
        composeOverWhite(row, count, channels);
    }
    if (channels == 4) {
        rgbxRowToGray(row, grayRow, count);
        return grayRow;
    }
    return row;
}

// Without libpng's deinterlacing, each Adam7 pass comes as a small picture of
// its own. Every pixel's gray depends on that pixel only, so each pass row is
// made gray and scattered to its place: no whole picture in color is needed.
void readInterlacedRows(Session& session, GrayRaster& out, int channels, std::uint8_t* row,
                        std::uint8_t* grayRow) {
    const auto width = static_cast<png_uint_32>(out.width());
    const auto height = static_cast<png_uint_32>(out.height());
    for (int pass = 0; pass < 7; ++pass) {
        const png_uint_32 columns = PNG_PASS_COLS(width, pass);
        const png_uint_32 rows = PNG_PASS_ROWS(height, pass);
        if (columns == 0 || rows == 0) {
            continue;  // libpng skips empty passes too
        }
        for (png_uint_32 passRow = 0; passRow < rows; ++passRow) {
            const auto y = static_cast<std::int32_t>(PNG_ROW_FROM_PASS_ROW(passRow, pass));
            if (channels == 4 && out.keepsColor()) {
                png_read_row(session.png, row, nullptr);
                if (hasAlpha(session)) {
                    composeOverWhite(row, static_cast<std::int32_t>(columns), channels);
                }
                std::uint8_t* target = out.rgbRow(y);
                for (png_uint_32 i = 0; i < columns; ++i) {
                    std::memcpy(target + 3 * PNG_COL_FROM_PASS_COL(i, pass), row + 4 * i, 3);
                }
                continue;
            }
            const std::uint8_t* gray =
                readGrayRow(session, static_cast<std::int32_t>(columns), channels, row, grayRow);
            std::uint8_t* target =
                out.row(static_cast<std::int32_t>(PNG_ROW_FROM_PASS_ROW(passRow, pass)));
            for (png_uint_32 i = 0; i < columns; ++i) {
                target[PNG_COL_FROM_PASS_COL(i, pass)] = gray[i];
            }
        }
    }
}

// `row` holds one row of `channels` bytes a pixel over the full width,
// `grayRow` one gray row (interlaced pictures only).
void readPixels(Session& session, GrayRaster& out, int channels, std::uint8_t* row,
                std::uint8_t* grayRow) {
    png_read_update_info(session.png, session.info);
    if (png_get_rowbytes(session.png, session.info) !=
        static_cast<std::size_t>(channels) * static_cast<std::size_t>(out.width())) {
        png_error(session.png, "unexpected row format");
    }
    if (session.interlaced) {
        readInterlacedRows(session, out, channels, row, grayRow);
    } else {
        readSequentialRows(session, out, channels, row);
    }
    // Reads on to IEND, so that a file cut after its pixels, or a damaged
    // chunk after them, is refused too.
    png_read_end(session.png, nullptr);
}

// Deflate codes at best 258 bytes in 2 bits (a length and a distance code
// of one bit each), so the compressed data after the header, which is at
// most what is left of the file, holds at most 1032 times its size. A
// picture that needs more can't be there, however its data is cut: refused
// before its raster is allocated. (Interlaced rows hold the same pixels plus
// more filter bytes, so the bound holds for them too.)
void checkDataCanHold(const Session& session) {
    constexpr std::uint64_t kMaxDeflateRatio = 1032;
    const std::uint64_t bits = std::uint64_t{session.width} * session.height * session.bitsPerPixel;
    const std::uint64_t needed = (bits + 7) / 8 + session.height;  // a filter byte a row
    const std::uint64_t left = session.size - session.position;
    if (needed / kMaxDeflateRatio > left) {
        throw Error(ErrorReason::Damaged, "truncated PNG: " + std::to_string(session.width) +
                                              " x " + std::to_string(session.height) +
                                              " pixels need over " +
                                              std::to_string(needed / kMaxDeflateRatio) +
                                              " bytes of compressed data, the file has " +
                                              std::to_string(left) + " left");
    }
}

}  // namespace

bool sniffPng(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

void decodePng(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    Session session;
    session.data = data;
    session.size = size;
    SessionCleanup cleanup{session};
    session.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, onError, onWarning);
    if (session.png != nullptr) {
        session.info = png_create_info_struct(session.png);
    }
    if (session.info == nullptr) {
        throw Error(ErrorReason::OutOfMemory, "out of memory (starting libpng)");
    }
    if (!guarded(session, [&] { readHeader(session); })) {
        throw decodeError(session);
    }

    GrayRaster::checkSize(checkedInt32(session.width), checkedInt32(session.height));
    checkDataCanHold(session);
    out.begin(checkedInt32(session.width), checkedInt32(session.height));
    const int channels = outputChannels(session);
    const auto width = static_cast<std::size_t>(out.width());
    Bytes row;
    Bytes grayRow;
    if (channels > 1 || session.interlaced) {
        resizeBytes(row, static_cast<std::size_t>(channels) * width);
    }
    if (session.interlaced) {
        resizeBytes(grayRow, width);
    }
    if (!guarded(session,
                 [&] { readPixels(session, out, channels, row.data(), grayRow.data()); })) {
        throw decodeError(session);
    }
}

}  // namespace folder2pdf
