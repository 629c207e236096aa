#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <cstring>
#include <string>

#include <jpeglib.h>
// After jpeglib.h, whose jconfig.h decides which message codes exist.
#include <jerror.h>

#include "image/Decoders.h"
#include "image/JpegStructure.h"
#include "image/Gray.h"

namespace folder2pdf {
namespace {

// Progressive files need one pass over the coefficients per scan. Encoders
// write about ten; a file with hundreds is built to burn time.
// (libjpeg-turbo's own tools refuse beyond 500 scans.)
constexpr int kMaxScans = 500;

// Rows asked of libjpeg per call. Asked for one row of 2x2 subsampled
// chroma, its fancy upsampling goes through a spare row and a copy; asked
// for two or more, it writes straight into our rows.
constexpr int kRowsPerRead = 4;

struct ErrorManager {
    jpeg_error_mgr base;  // first: libjpeg only knows this part
    std::jmp_buf landing;
    char message[JMSG_LENGTH_MAX];
};

// Everything libjpeg touches, plain C data: a longjmp may skip any frame
// that uses it without losing a destructor.
struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    std::uint64_t coefficientBytes;  // held for a file of several scans, else 0
    int orientation;                 // of the EXIF block, 1 when none is readable
};

// jpeg_destroy_decompress also accepts the zeroed struct of a session whose
// jpeg_create_decompress failed.
struct SessionCleanup {
    Session& session;
    ~SessionCleanup() { jpeg_destroy_decompress(&session.cinfo); }
};

[[noreturn]] void failWith(j_common_ptr cinfo, const char* message) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(errors->message, sizeof errors->message, "%s", message);
    std::longjmp(errors->landing, 1);
}

[[noreturn]] void onError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    failWith(cinfo, message);
}

// libjpeg carries on after a warning with whatever it could make of the data.
// A warning that means entropy-coded data is missing or unreadable becomes an
// error: decoding on would fill the rest of the picture with gray or noise.
// Truncation counts even when only the end marker is missing, because a
// progressive file cut there can't be told from one that lost its last scans.
// The other warnings concern headers around complete picture data (junk bytes
// between segments, as some cameras write; an unknown Adobe transform or JFIF
// version; a bad ICC profile, which we never use; an odd but decodable scan
// sequence), so those files decode as libjpeg reads them.
bool isFatalWarning(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
            return true;
        default:
            return false;
    }
}

void onMessage(j_common_ptr cinfo, int level) {
    // level -1 is a warning, higher levels are trace messages; the default
    // handler would print them on stderr.
    if (level < 0 && isFatalWarning(cinfo->err->msg_code)) {
        onError(cinfo);
    }
}

void onProgress(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        failWith(cinfo, "JPEG: too many scans (more than 500)");
    }
}

// The one place where libjpeg's longjmp lands. Runs `step` and tells whether
// it finished; when libjpeg failed, the reason is in session.errors.message.
// `step` and what it calls keep only trivially destructible locals.
template <typename Step>
bool guarded(Session& session, Step&& step) {
    if (setjmp(session.errors.landing) != 0) {
        return false;
    }
    step();
    return true;
}

Error decodeError(const char* libraryMessage) {
    return libraryError(libraryMessage, "JPEG");
}

// A file of several scans (progressive, or components in separate scans)
// keeps every DCT coefficient of the picture until the last scan: 128 bytes
// for each 8 x 8 block of each component, rounded up to whole MCUs as
// libjpeg allocates them. The entropy data can describe such a picture in a
// few bytes, so this is the decoder's own size to check.
std::uint64_t coefficientBytes(j_decompress_ptr cinfo) {
    if (!jpeg_has_multiple_scans(cinfo)) {
        return 0;
    }
    std::uint64_t bytes = 0;
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const jpeg_component_info& component = cinfo->comp_info[ci];
        const auto roundUp = [](std::uint64_t value, std::uint64_t step) {
            return (value + step - 1) / step * step;
        };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
}

// The first APP1 segment that holds EXIF, or null.
jpeg_saved_marker_ptr findExif(j_decompress_ptr cinfo) {
    static const std::uint8_t exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 + 8 &&
            std::memcmp(marker->data, exifHeader, 6) == 0) {
            return marker;
        }
    }
    return nullptr;
}

// The orientation of the first EXIF block, 1 to 8, or 1 when there is none
// or it can't be read.
int exifOrientation(j_decompress_ptr cinfo) {
    const jpeg_saved_marker_ptr exif = findExif(cinfo);
    return exif ? readExif(exif->data + 6, exif->data_length - 6).orientation : 1;
}

void readHeader(Session& session, const std::uint8_t* data, std::size_t size) {
    j_decompress_ptr cinfo = &session.cinfo;
    jpeg_create_decompress(cinfo);
    cinfo->progress = &session.progress;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    // Saved segments live only until the decompression finishes.
    session.orientation = exifOrientation(cinfo);
    session.coefficientBytes = coefficientBytes(cinfo);
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            // libjpeg turns YCCK into CMYK; the rest is ours.
            cinfo->out_color_space = JCS_CMYK;
            break;
        default:
            // Four bytes a pixel convert to gray much faster than three.
            cinfo->out_color_space = JCS_EXT_RGBX;
            break;
    }
}

// The largest of libjpeg's reductions 1/2, 1/4 and 1/8 that keeps the
// longer side at least `longSide`: whole DCT blocks dropped are decoding
// work saved, and the caller's box filter does the rest. 1 when the
// picture is not larger than that already.
unsigned reductionFor(const jpeg_decompress_struct& cinfo, std::int32_t longSide) {
    const std::int64_t longer = std::max(cinfo.image_width, cinfo.image_height);
    unsigned denominator = 1;
    while (denominator < 8 && longSide > 0 &&
           (longer + 2 * denominator - 1) / (2 * denominator) >= longSide) {
        denominator *= 2;
    }
    return denominator;
}

// Decodes the scanlines into `out`. Gray pictures land straight in the
// raster; color ones go through `rows` (kRowsPerRead rows of `components`
// bytes a pixel), CMYK turned into RGBX in place.
void readPixels(Session& session, GrayRaster& out, int components, std::uint8_t* rows) {
    j_decompress_ptr cinfo = &session.cinfo;
    jpeg_start_decompress(cinfo);
    const std::int32_t width = out.width();
    if (cinfo->output_components != components ||
        cinfo->output_width != static_cast<JDIMENSION>(width)) {
        failWith(reinterpret_cast<j_common_ptr>(cinfo), "JPEG: unexpected output format");
    }
    const std::size_t rowBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    const bool inverted = cinfo->saw_Adobe_marker;
    JSAMPROW rowPointers[kRowsPerRead];
    while (cinfo->output_scanline < cinfo->output_height) {
        const auto first = static_cast<std::int32_t>(cinfo->output_scanline);
        const int wanted = std::min(kRowsPerRead, out.height() - first);
        for (int i = 0; i < wanted; ++i) {
            rowPointers[i] = components == 1 ? out.row(first + i)
                                             : rows + static_cast<std::size_t>(i) * rowBytes;
        }
        const JDIMENSION got =
            jpeg_read_scanlines(cinfo, rowPointers, static_cast<JDIMENSION>(wanted));
        for (JDIMENSION i = 0; i < got && components > 1; ++i) {
            const std::int32_t y = first + static_cast<std::int32_t>(i);
            if (cinfo->out_color_space == JCS_CMYK) {
                cmykRowToRgbx(rowPointers[i], rowPointers[i], width, inverted);
            }
            out.putRgbxRow(y, rowPointers[i]);
        }
    }
    jpeg_finish_decompress(cinfo);
}

}  // namespace

bool sniffJpeg(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

void decodeJpeg(const std::uint8_t* data, std::size_t size, GrayRaster& out) {
    decodeJpegReduced(data, size, out, 0);
}

void decodeJpegReduced(const std::uint8_t* data, std::size_t size, GrayRaster& out,
                       std::int32_t longSide) {
    Session session{};
    SessionCleanup cleanup{session};
    session.cinfo.err = jpeg_std_error(&session.errors.base);
    session.errors.base.error_exit = onError;
    session.errors.base.emit_message = onMessage;
    session.progress.progress_monitor = onProgress;
    if (!guarded(session, [&] { readHeader(session, data, size); })) {
        throw decodeError(session.errors.message);
    }

    // JPEG sizes stop at 65535, so only the products can overflow.
    GrayRaster::checkSize(static_cast<std::int32_t>(session.cinfo.image_width),
                          static_cast<std::int32_t>(session.cinfo.image_height));
    const std::uint64_t coefficients = session.coefficientBytes;
    if (coefficients > static_cast<std::uint64_t>(INT32_MAX)) {
        throw Error(ErrorReason::TooLarge,
                    "picture too large: a JPEG of " + std::to_string(session.cinfo.image_width) +
                        " x " + std::to_string(session.cinfo.image_height) +
                        " in several scans needs " + std::to_string(coefficients) +
                        " bytes of coefficients");
    }
    session.cinfo.scale_num = 1;
    session.cinfo.scale_denom = reductionFor(session.cinfo, longSide);
    if (!guarded(session, [&] { jpeg_calc_output_dimensions(&session.cinfo); })) {
        throw decodeError(session.errors.message);
    }
    out.holdBeside(coefficients);
    out.begin(static_cast<std::int32_t>(session.cinfo.output_width),
              static_cast<std::int32_t>(session.cinfo.output_height));
    // Gray rows go straight into the raster; color needs kRowsPerRead rows
    // of RGBX or CMYK.
    const int components = session.cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 4;
    Bytes rows;
    if (components > 1) {
        resizeBytes(rows, kRowsPerRead * static_cast<std::size_t>(components) *
                              static_cast<std::size_t>(out.width()));
    }
    if (!guarded(session, [&] { readPixels(session, out, components, rows.data()); })) {
        throw decodeError(session.errors.message);
    }
    // Cameras store a portrait photo as landscape pixels and say so in EXIF;
    // every viewer shows it upright, so the page does too.
    out.orient(session.orientation);
}

}  // namespace folder2pdf
