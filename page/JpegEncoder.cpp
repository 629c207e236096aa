#include "page/JpegEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <new>

#include <jpeglib.h>

namespace folder2pdf {
namespace {

// What libjpeg's longjmp may skip: plain C data only.
struct Session {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_destination_mgr destination;
    std::jmp_buf landing;
    Bytes* out;
    bool outOfMemory;
    char message[JMSG_LENGTH_MAX];
};

Session& sessionOf(j_compress_ptr cinfo) {
    return *static_cast<Session*>(cinfo->client_data);
}

[[noreturn]] void onError(j_common_ptr cinfo) {
    Session& session = sessionOf(reinterpret_cast<j_compress_ptr>(cinfo));
    (*cinfo->err->format_message)(cinfo, session.message);
    std::longjmp(session.landing, 1);
}

// Grows the output to `size` bytes and points libjpeg past the first `used`.
// No exception may cross libjpeg's frames: running out of memory becomes
// its error path.
void offerRoom(j_compress_ptr cinfo, std::size_t used, std::size_t size) {
    Session& session = sessionOf(cinfo);
    try {
        session.out->resize(size);
    } catch (const std::exception&) {
        session.outOfMemory = true;
        std::snprintf(session.message, sizeof session.message, "out of memory");
        std::longjmp(session.landing, 1);
    }
    cinfo->dest->next_output_byte = session.out->data() + used;
    cinfo->dest->free_in_buffer = size - used;
}

void startOutput(j_compress_ptr cinfo) {
    offerRoom(cinfo, 0, std::max<std::size_t>(sessionOf(cinfo).out->capacity(), 64 << 10));
}

boolean growOutput(j_compress_ptr cinfo) {
    const std::size_t used = sessionOf(cinfo).out->size();
    offerRoom(cinfo, used, used * 2);
    return TRUE;
}

void endOutput(j_compress_ptr cinfo) {
    Session& session = sessionOf(cinfo);
    session.out->resize(session.out->size() - cinfo->dest->free_in_buffer);
}

struct SessionCleanup {
    Session& session;
    ~SessionCleanup() { jpeg_destroy_compress(&session.cinfo); }
};

// The one place libjpeg's longjmp lands; `image` only is read, and no
// local here has a destructor.
bool compressRows(Session& session, const GrayImage& image, int quality) {
    if (setjmp(session.landing) != 0) {
        return false;
    }
    jpeg_create_compress(&session.cinfo);
    session.cinfo.dest = &session.destination;
    session.cinfo.image_width = static_cast<JDIMENSION>(image.Width);
    session.cinfo.image_height = static_cast<JDIMENSION>(image.Height);
    const bool color = image.channels == 3;
    session.cinfo.input_components = color ? 3 : 1;
    session.cinfo.in_color_space = color ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&session.cinfo);
    jpeg_set_quality(&session.cinfo, quality, TRUE);
    session.cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&session.cinfo, TRUE);
    while (session.cinfo.next_scanline < session.cinfo.image_height) {
        // libjpeg reads the rows, though its type says otherwise.
        JSAMPROW row = const_cast<JSAMPROW>(image.imgData.data() +
                                            static_cast<std::size_t>(session.cinfo.next_scanline) *
                                                static_cast<std::size_t>(image.Width) *
                                                static_cast<std::size_t>(image.channels));
        jpeg_write_scanlines(&session.cinfo, &row, 1);
    }
    jpeg_finish_compress(&session.cinfo);
    return true;
}

}  // namespace

void encodeJpeg(const GrayImage& image, int quality, Bytes& out) {
    Session session{};
    session.cinfo.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = onError;
    session.cinfo.client_data = &session;
    session.destination.init_destination = startOutput;
    session.destination.empty_output_buffer = growOutput;
    session.destination.term_destination = endOutput;
    session.out = &out;
    const SessionCleanup cleanup{session};
    if (!compressRows(session, image, quality)) {
        throw Error(session.outOfMemory ? ErrorReason::OutOfMemory : ErrorReason::TooLarge,
                    std::string("JPEG encoding failed: ") + session.message);
    }
}

}  // namespace folder2pdf
