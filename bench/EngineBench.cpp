// Function benchmarks of the engine, with the ratios the project's speed
// goals are stated in, measured side by side in one run.

#include <cstdio>  // before jpeglib.h, which needs FILE

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "PdfTestPeer.h"
#include "SamplePictures.h"
#include "image/Gray.h"
#include "image/ImgToByte.h"
#include "page/Compress.h"
#include "pdf/pdf.h"

namespace {

using folder2pdf::Bytes;

constexpr std::size_t gib = std::size_t{1} << 30;
constexpr std::int32_t appendSize = 64 * 1024;

// A 12-megapixel photograph, as a phone takes it.
constexpr int photoWidth = 4000;
constexpr int photoHeight = 3000;

const std::vector<std::uint8_t>& photo() {
    static const auto pixels = bench::photoPixels(photoWidth, photoHeight);
    return pixels;
}

// ---- Document assembly against plain memory copies ----

// The document goes to a temporary file, which goes with the unfinished writer.
void AssembleDocument1GiB(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() / "engine-bench.pdf").string();
    for (auto _ : state) {
        folder2pdf::pdf writer(path);
        for (std::size_t done = 0; done + appendSize <= gib; done += appendSize) {
            folder2pdf::PdfTestPeer::addBytes(writer, appendSize);
        }
        benchmark::DoNotOptimize(folder2pdf::PdfTestPeer::length(writer));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gib));
}

std::uint8_t* touchedGib() {
    static std::uint8_t* source = [] {
        auto* p = static_cast<std::uint8_t*>(std::malloc(gib));
        std::memset(p, 'x', gib);
        return p;
    }();
    return source;
}

// Into freshly allocated memory, as the document's buffer is.
void Memcpy1GiBFresh(benchmark::State& state) {
    const std::uint8_t* source = touchedGib();
    for (auto _ : state) {
        auto* target = static_cast<std::uint8_t*>(std::malloc(gib));
        std::memcpy(target, source, gib);
        benchmark::DoNotOptimize(target);
        std::free(target);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gib));
}

// Into memory written before: the copy alone.
void Memcpy1GiBWarm(benchmark::State& state) {
    const std::uint8_t* source = touchedGib();
    auto* target = static_cast<std::uint8_t*>(std::malloc(gib));
    std::memset(target, 0, gib);
    for (auto _ : state) {
        std::memcpy(target, source, gib);
        benchmark::DoNotOptimize(target);
    }
    std::free(target);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gib));
}

BENCHMARK(AssembleDocument1GiB)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy1GiBFresh)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy1GiBWarm)->Iterations(2)->Unit(benchmark::kMillisecond);

// ---- Gray conversion and compression ----

// Four bytes a pixel, the layout the decoders deliver.
void GrayConversionRgbx(benchmark::State& state) {
    const auto& rgb = photo();
    std::vector<std::uint8_t> rgbx(static_cast<std::size_t>(photoWidth) * photoHeight * 4);
    for (std::size_t i = 0; i < rgbx.size() / 4; ++i) {
        std::memcpy(&rgbx[4 * i], &rgb[3 * i], 3);
    }
    Bytes gray(static_cast<std::size_t>(photoWidth) * photoHeight);
    for (auto _ : state) {
        for (int y = 0; y < photoHeight; ++y) {
            folder2pdf::rgbxRowToGray(&rgbx[static_cast<std::size_t>(y) * photoWidth * 4],
                                      &gray[static_cast<std::size_t>(y) * photoWidth], photoWidth);
        }
        benchmark::DoNotOptimize(gray.data());
    }
    state.SetItemsProcessed(state.iterations() * photoWidth * photoHeight);
}
BENCHMARK(GrayConversionRgbx)->Unit(benchmark::kMillisecond);

Bytes photoGray() {
    const auto& rgb = photo();
    Bytes gray(static_cast<std::size_t>(photoWidth) * photoHeight);
    for (std::size_t i = 0; i < gray.size(); ++i) {
        gray[i] = folder2pdf::grayOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    }
    return gray;
}

void CompressPhotoRaster(benchmark::State& state) {
    const Bytes raster = photoGray();
    Bytes data;
    Bytes scratch;
    for (auto _ : state) {
        data = raster;
        folder2pdf::CompressBytes(data, scratch);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raster.size()));
}
BENCHMARK(CompressPhotoRaster)->Unit(benchmark::kMillisecond);

// ---- Decoders: through the loader, and the bare library for comparison ----

const std::vector<std::uint8_t>& photoJpeg() {
    static const auto file = bench::encodeJpeg(photo(), photoWidth, photoHeight, 90);
    return file;
}

const std::vector<std::uint8_t>& photoPng() {
    static const auto file = bench::encodePng(photo(), photoWidth, photoHeight);
    return file;
}

void loadThroughLoader(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    folder2pdf::ImgToByte loader;
    folder2pdf::GrayImage gray;
    for (auto _ : state) {
        loader.loadBytes(file.data(), file.size(), gray);
        benchmark::DoNotOptimize(gray.imgData.data());
    }
    state.SetItemsProcessed(state.iterations() * photoWidth * photoHeight);
}

void JpegThroughLoader(benchmark::State& state) {
    loadThroughLoader(state, photoJpeg());
}

// The same photograph tagged as taken in portrait (EXIF orientation 6): the
// loader turns its 4000 x 3000 pixels into a 3000 x 4000 picture.
void JpegPortraitThroughLoader(benchmark::State& state) {
    static const auto file = [] {
        static const std::uint8_t exif[] = {
            0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,        // APP1, length, "Exif"
            'M',  'M',  0, 42, 0,   0,   0,   8,                // big-endian TIFF, directory at 8
            0,    1,                                            // one entry:
            0x01, 0x12, 0, 3,  0,   0,   0,   1,   0, 6, 0, 0,  // orientation, SHORT, 1: 6
            0,    0,    0, 0};                                  // no next directory
        std::vector<std::uint8_t> tagged(photoJpeg());
        tagged.insert(tagged.begin() + 2, std::begin(exif), std::end(exif));
        return tagged;
    }();
    loadThroughLoader(state, file);
}

// libjpeg alone, decoding to RGB rows and dropping them.
void JpegLibraryOnly(benchmark::State& state) {
    const auto& file = photoJpeg();
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(photoWidth) * 3 * 16);
    for (auto _ : state) {
        jpeg_decompress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, file.data(), file.size());
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        JSAMPROW pointers[16];
        for (int i = 0; i < 16; ++i) {
            pointers[i] = &rows[static_cast<std::size_t>(i) * photoWidth * 3];
        }
        while (info.output_scanline < info.output_height) {
            jpeg_read_scanlines(&info, pointers, 16);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * photoWidth * photoHeight);
}

void PngThroughLoader(benchmark::State& state) {
    loadThroughLoader(state, photoPng());
}

// libpng alone, decoding RGB rows into one row buffer.
void PngLibraryOnly(benchmark::State& state) {
    const auto& file = photoPng();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(photoWidth) * 3);
    for (auto _ : state) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        struct Reader {
            const std::vector<std::uint8_t>* file;
            std::size_t at;
        } reader{&file, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t length) {
            auto* r = static_cast<Reader*>(png_get_io_ptr(p));
            std::memcpy(out, r->file->data() + r->at, length);
            r->at += length;
        });
        png_read_info(png, info);
        for (int y = 0; y < photoHeight; ++y) {
            png_read_row(png, row.data(), nullptr);
        }
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * photoWidth * photoHeight);
}

void GifThroughLoader(benchmark::State& state) {
    static const auto file = bench::encodeGif(photo(), photoWidth, photoHeight);
    loadThroughLoader(state, file);
}

void BmpThroughLoader(benchmark::State& state) {
    static const auto file = bench::encodeBmp(photo(), photoWidth, photoHeight);
    loadThroughLoader(state, file);
}

BENCHMARK(JpegThroughLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPortraitThroughLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegLibraryOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(PngThroughLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(PngLibraryOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(GifThroughLoader)->Unit(benchmark::kMillisecond);
BENCHMARK(BmpThroughLoader)->Unit(benchmark::kMillisecond);

// Keeps every run's time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
                items[run.run_name.function_name] =
                    run.counters.count("items_per_second")
                        ? double(run.counters.at("items_per_second"))
                        : 0.0;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatio(const char* what, const std::string& a, const std::string& b,
                    const char* goal) const {
        if (seconds.count(a) && seconds.count(b)) {
            std::printf("%-58s %6.2f   (goal: %s)\n", what, seconds.at(a) / seconds.at(b), goal);
        }
    }

    std::map<std::string, double> seconds;
    std::map<std::string, double> items;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios measured in this run:\n");
    reporter.printRatio("1 GiB document to its file from 64 KiB appends / memcpy to fresh memory",
                        "AssembleDocument1GiB", "Memcpy1GiBFresh", "<= 3");
    reporter.printRatio("1 GiB document to its file from 64 KiB appends / memcpy to written memory",
                        "AssembleDocument1GiB", "Memcpy1GiBWarm", "for information");
    reporter.printRatio("JPEG 12 MP through the loader / libjpeg alone", "JpegThroughLoader",
                        "JpegLibraryOnly", "<= 1.3");
    reporter.printRatio("JPEG 12 MP turned upright (EXIF 6) / as stored",
                        "JpegPortraitThroughLoader", "JpegThroughLoader", "for information");
    reporter.printRatio("PNG 12 MP through the loader / libpng alone", "PngThroughLoader",
                        "PngLibraryOnly", "<= 1.3");
    if (reporter.items.count("GrayConversionRgbx")) {
        std::printf("%-58s %6.0f   (goal: >= 500)\n", "gray conversion, million pixels per second",
                    reporter.items.at("GrayConversionRgbx") / 1e6);
    }
    if (reporter.items.count("GrayConversion")) {
        std::printf("%-58s %6.0f   (for information)\n",
                    "gray conversion (RGB), million pixels per second",
                    reporter.items.at("GrayConversion") / 1e6);
    }
    benchmark::Shutdown();
    return 0;
}
