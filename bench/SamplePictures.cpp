#include "SamplePictures.h"

#include <cstdio>  // before jpeglib.h, which needs FILE

#include <gif_lib.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace bench {

std::vector<std::uint8_t> photoPixels(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const double shape =
                std::sin(u * 9.0 + std::cos(v * 7.0)) * std::cos(v * 5.0 - u * 3.0);
            const int grain = static_cast<int>(noise % 9) - 4;
            const double channels[3] = {120 + 90 * shape + 30 * u,
                                        110 + 70 * std::sin(v * 4.0) + 40 * shape,
                                        90 + 60 * v - 50 * shape};
            std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const int level = static_cast<int>(channels[c]) + grain;
                pixel[c] = static_cast<std::uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
            }
        }
    }
    return rgb;
}

std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> result(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return result;
}

namespace {

void appendPng(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

}  // namespace

namespace {

std::vector<std::uint8_t> writePng(const std::uint8_t* pixels, int width, int height, int colorType,
                                   int channels) {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("PNG encoding failed");
    }
    png_set_write_fn(png, &out, appendPng, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, pixels + static_cast<std::size_t>(y) * width * channels);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

std::vector<std::uint8_t> encodePng(const std::vector<std::uint8_t>& rgb, int width, int height) {
    return writePng(rgb.data(), width, height, PNG_COLOR_TYPE_RGB, 3);
}

std::vector<std::uint8_t> encodeGrayPng(const std::vector<std::uint8_t>& rgb, int width,
                                        int height) {
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < gray.size(); ++i) {
        gray[i] = rgb[3 * i];
    }
    return writePng(gray.data(), width, height, PNG_COLOR_TYPE_GRAY, 1);
}

std::vector<std::uint8_t> encodeBmp(const std::vector<std::uint8_t>& rgb, int width, int height) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t pixels = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> out(54 + pixels, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xffff);
        put16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, 54 + pixels);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, pixels);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = &rgb[static_cast<std::size_t>(height - 1 - y) * width * 3];
        std::uint8_t* row = &out[54 + static_cast<std::size_t>(y) * stride];
        for (int x = 0; x < width; ++x) {
            row[3 * x] = source[3 * x + 2];
            row[3 * x + 1] = source[3 * x + 1];
            row[3 * x + 2] = source[3 * x];
        }
    }
    return out;
}

namespace {

int appendGif(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

}  // namespace

std::vector<std::uint8_t> encodeGif(const std::vector<std::uint8_t>& rgb, int width, int height) {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGif, &error);
    if (gif == nullptr) {
        throw std::runtime_error("GIF encoding failed");
    }
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i) {
        map->Colors[i].Red = static_cast<GifByteType>((i >> 5) * 255 / 7);
        map->Colors[i].Green = static_cast<GifByteType>(((i >> 2) & 7) * 255 / 7);
        map->Colors[i].Blue = static_cast<GifByteType>((i & 3) * 255 / 3);
    }
    EGifPutScreenDesc(gif, width, height, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = &rgb[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            line[x] = static_cast<GifPixelType>(((source[3 * x] >> 5) << 5) |
                                                ((source[3 * x + 1] >> 5) << 2) |
                                                (source[3 * x + 2] >> 6));
        }
        EGifPutLine(gif, line.data(), width);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return out;
}

std::vector<std::uint8_t> encodeWebp(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality) {
    std::uint8_t* buffer = nullptr;
    const std::size_t size =
        WebPEncodeRGB(rgb.data(), width, height, width * 3, static_cast<float>(quality), &buffer);
    if (size == 0) {
        throw std::runtime_error("WebP encoding failed");
    }
    std::vector<std::uint8_t> result(buffer, buffer + size);
    WebPFree(buffer);
    return result;
}

namespace {

void checkHeif(const heif_error& error) {
    if (error.code != heif_error_Ok) {
        throw std::runtime_error(std::string("HEIC encoding failed: ") + error.message);
    }
}

heif_error appendHeif(heif_context*, const void* data, std::size_t size, void* userdata) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(userdata);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::vector<std::uint8_t> encodeHeic(const std::vector<std::uint8_t>& rgb, int width, int height,
                                     int quality) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    std::vector<std::uint8_t> out;
    try {
        checkHeif(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder));
        checkHeif(heif_encoder_set_lossy_quality(encoder, quality));
        // The encoder's speed changes only how long the folder takes to make.
        checkHeif(heif_encoder_set_parameter_string(encoder, "preset", "veryfast"));
        checkHeif(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                                    &image));
        checkHeif(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8));
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y) {
            std::memcpy(plane + static_cast<std::size_t>(y) * stride,
                        &rgb[static_cast<std::size_t>(y) * width * 3],
                        static_cast<std::size_t>(width) * 3);
        }
        checkHeif(heif_context_encode_image(context, image, encoder, nullptr, nullptr));
        heif_writer writer{1, appendHeif};
        checkHeif(heif_context_write(context, &writer, &out));
    } catch (...) {
        heif_image_release(image);
        heif_encoder_release(encoder);
        heif_context_free(context);
        throw;
    }
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

void writeTiff(const std::string& path, const std::vector<std::uint8_t>& rgb, int width,
               int height) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        // libtiff's predictor works on the row in place, so it gets a copy.
        std::memcpy(row.data(), &rgb[static_cast<std::size_t>(y) * width * 3], row.size());
        if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            TIFFClose(tiff);
            throw std::runtime_error("cannot write " + path);
        }
    }
    TIFFClose(tiff);
}

}  // namespace bench
