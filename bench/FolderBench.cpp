// Whole-program benchmark: converts generated folders with the command line,
// once on one thread and once on every core, and sets the wall times against
// the compute floor (decode + gray + compress of every picture on one thread,
// divided by the cores).
//
//   folder_bench [WORK_FOLDER]           (default: a new folder under /tmp)
//   folder_bench --large [WORK_FOLDER]   documents past 2 GiB instead (minutes)
//   folder_bench --modes [WORK_FOLDER]   only the document options side by side
//   folder_bench --formats [WORK_FOLDER] only HEIC, WebP and TIFF against GraphicsMagick
//
// --large converts 10 and then 100 photographs of 24-megapixel gray noise,
// which hardly compresses, so that the second document passes 2 GiB, and sets the
// peak memory of each run against the budget: it must not grow with the
// page count. The folders and documents are removed afterwards.
//
// Every run also sets the document options against the default on the same
// folders, side by side, on every core: size and wall time of --compact,
// --jpeg 85, --paper a4, --color and --color --jpeg 85, on the photographs
// --max-size 5MB too, and, where img2pdf is installed, img2pdf on them (JPEG
// files, as --color keeps them: the two should be alike). Last, the
// photographs as HEIC, WebP and TIFF: the default's wall time against
// GraphicsMagick's gray, Flate document of them, where gm is installed and
// reads the format.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SamplePictures.h"
#include "page/PageMaker.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

struct Folder {
    std::string name;
    fs::path path;
    std::string extension;          // of the pictures, with the dot
    std::size_t largestRaster = 0;  // bytes of the largest decoded gray picture
};

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

using PictureWriter = std::function<void(const fs::path&, const std::vector<std::uint8_t>&)>;

// Photographs: 12-megapixel pictures of varied content, IMG_0001.EXTENSION...
// written by `write`.
Folder makePhotos(const fs::path& root, const std::string& name, const std::string& extension,
                  int count, const PictureWriter& write) {
    Folder folder{name, root / name, "." + extension};
    fs::create_directories(folder.path);
    auto pixels = bench::photoPixels(kPhotoWidth, kPhotoHeight);
    for (int i = 0; i < count; ++i) {
        // Shift the picture so that no two files are alike.
        std::rotate(pixels.begin(), pixels.begin() + 3 * 4001 * 7, pixels.end());
        char file[32];
        std::snprintf(file, sizeof file, "IMG_%04d.%s", i + 1, extension.c_str());
        write(folder.path / file, pixels);
    }
    folder.largestRaster = static_cast<std::size_t>(kPhotoWidth) * kPhotoHeight;
    return folder;
}

Folder makeJpegPhotos(const fs::path& root, int count) {
    return makePhotos(root, "photos", "jpg", count, [](const fs::path& path, const auto& pixels) {
        writeFile(path, bench::encodeJpeg(pixels, kPhotoWidth, kPhotoHeight, 90));
    });
}

// Scanned document pages: A4 at 300 dpi, gray PNG, lines of "text" in
// words of dark strokes, a heading and a gray figure.
std::vector<std::uint8_t> documentPage(int width, int height, unsigned seed) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3, 250);
    auto fill = [&](int x0, int y0, int x1, int y1, std::uint8_t level) {
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y) {
            std::fill(rgb.begin() + (static_cast<std::size_t>(y) * width + std::max(0, x0)) * 3,
                      rgb.begin() + (static_cast<std::size_t>(y) * width + std::min(width, x1)) * 3,
                      level);
        }
    };
    std::uint32_t random = seed * 2654435761u + 1;
    auto next = [&](std::uint32_t range) {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return random % range;
    };
    fill(300, 300, 300 + 1200 + static_cast<int>(next(400)), 370, 20);
    const int figureTop = 900 + static_cast<int>(next(1200));
    for (int line = 500; line < height - 300; line += 52) {
        if (line > figureTop && line < figureTop + 600) {
            continue;
        }
        int x = 300;
        const int end = width - 300 - static_cast<int>(next(line % 7 == 0 ? 1200 : 80));
        while (x < end) {
            const int word = 40 + static_cast<int>(next(160));
            for (int stroke = x; stroke < std::min(x + word, end);
                 stroke += 9 + static_cast<int>(next(6))) {
                fill(stroke, line + static_cast<int>(next(8)),
                     stroke + 3 + static_cast<int>(next(3)), line + 30,
                     static_cast<std::uint8_t>(10 + next(40)));
            }
            x += word + 24;
        }
    }
    for (int y = figureTop; y < figureTop + 560; ++y) {
        for (int x = 500; x < width - 500; ++x) {
            const auto level =
                static_cast<std::uint8_t>(120 + ((x / 37 + y / 23) % 5) * 25 + next(5));
            std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            pixel[0] = pixel[1] = pixel[2] = level;
        }
    }
    return rgb;
}

Folder makeDocuments(const fs::path& root, int count) {
    Folder folder{"documents", root / "documents", ".png"};
    fs::create_directories(folder.path);
    const int width = 2480;
    const int height = 3508;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "page-%03d.png", i + 1);
        writeFile(folder.path / name,
                  bench::encodeGrayPng(documentPage(width, height, static_cast<unsigned>(i)), width,
                                       height));
    }
    folder.largestRaster = static_cast<std::size_t>(width) * height;
    return folder;
}

// Seconds of decode + gray + compress for every picture of the folder, on
// this one thread.
double computeSeconds(const Folder& folder) {
    folder2pdf::PageMaker maker;
    folder2pdf::PreparedPage page;
    double total = 0;
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        if (entry.path().extension() == ".pdf") {
            continue;
        }
        const auto start = Clock::now();
        maker.prepare(entry.path().string(), 0, page);
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    return total;
}

// Photographs of gray noise, 6000 x 4000, as JPEGs of quality 95: the
// decoded pictures hardly compress. A few distinct pictures, the other names
// symbolic links to them, so that the folder costs little disk.
Folder makeNoise(const fs::path& root, int count) {
    Folder folder{"noise-" + std::to_string(count), root / ("noise-" + std::to_string(count)),
                  ".jpg"};
    fs::create_directories(folder.path);
    const int width = 6000;
    const int height = 4000;
    const int distinct = 3;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.jpg", i + 1);
        if (i >= distinct) {
            char first[32];
            std::snprintf(first, sizeof first, "IMG_%04d.jpg", i % distinct + 1);
            fs::create_symlink(first, folder.path / name);
            continue;
        }
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
        std::uint32_t random = 2463534242u + static_cast<std::uint32_t>(i);
        for (std::size_t p = 0; p < rgb.size(); p += 3) {
            random ^= random << 13;
            random ^= random >> 17;
            random ^= random << 5;
            rgb[p] = rgb[p + 1] = rgb[p + 2] = static_cast<std::uint8_t>(random >> 24);
        }
        writeFile(folder.path / name, bench::encodeJpeg(rgb, width, height, 95));
    }
    folder.largestRaster = static_cast<std::size_t>(width) * height;
    return folder;
}

struct RunResult {
    double seconds = 0;
    double peakMiB = 0;
};

RunResult convert(const Folder& folder, int jobs, const std::vector<std::string>& options = {}) {
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string jobsText = std::to_string(jobs);
        std::vector<const char*> argv = {FOLDER2PDF_EXE, "--quiet", "--jobs", jobsText.c_str()};
        for (const std::string& option : options) {
            argv.push_back(option.c_str());
        }
        argv.push_back(folder.path.c_str());
        argv.push_back(nullptr);
        // The command line prints its count and path; only the timing matters here.
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::execv(FOLDER2PDF_EXE, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    RunResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "folder2pdf failed on %s\n", folder.path.c_str());
        std::exit(1);
    }
    return result;
}

RunResult bestOf(const Folder& folder, int jobs, int runs) {
    RunResult best{1e300, 0};
    for (int i = 0; i < runs; ++i) {
        const RunResult run = convert(folder, jobs);
        best.seconds = std::min(best.seconds, run.seconds);
        best.peakMiB = std::max(best.peakMiB, run.peakMiB);
    }
    return best;
}

void report(const Folder& folder, int cores) {
    // The better of two passes, so that a slow moment doesn't lower the bar.
    const double compute = std::min(computeSeconds(folder), computeSeconds(folder));
    const double floor = compute / cores;
    const RunResult one = bestOf(folder, 1, 2);
    const RunResult all = bestOf(folder, cores, 2);
    const double documentMiB =
        static_cast<double>(fs::file_size(folder.path / (folder.name + ".pdf"))) /
        (1024.0 * 1024.0);
    const double budgetMiB =
        documentMiB + (cores + 2) * static_cast<double>(folder.largestRaster) / (1024.0 * 1024.0) +
        64;
    std::printf("\n%s: %zu pictures, document %.1f MiB\n", folder.name.c_str(),
                static_cast<std::size_t>(
                    std::distance(fs::directory_iterator(folder.path), fs::directory_iterator())) -
                    1,
                documentMiB);
    std::printf("  compute on one thread          %8.2f s   floor with %d cores %8.2f s\n", compute,
                cores, floor);
    std::printf("  --jobs 1                       %8.2f s   peak %7.1f MiB\n", one.seconds,
                one.peakMiB);
    std::printf("  --jobs %-2d                      %8.2f s   peak %7.1f MiB\n", cores, all.seconds,
                all.peakMiB);
    std::printf("  all cores / floor              %8.2f     (goal: <= 1.15)\n",
                all.seconds / floor);
    std::printf("  --jobs 1 / all cores           %8.2f     (goal: >= 1.8)\n",
                one.seconds / all.seconds);
    std::printf(
        "  peak memory / budget           %8.2f     (budget %.1f MiB = document + %d x largest "
        "picture + 64 MiB)\n",
        all.peakMiB / budgetMiB, budgetMiB, cores + 2);
}

// Seconds img2pdf takes to put the folder's pictures, in name order, into
// `output`.
double convertWithImg2pdf(const Folder& folder, const fs::path& output) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        if (entry.path().extension() != ".pdf") {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end());
    std::string command = "img2pdf -o '" + output.string() + "'";
    for (const std::string& name : names) {
        command += " '" + name + "'";
    }
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "img2pdf failed on %s\n", folder.path.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The default document against each option, runs taking turns so that a
// slow moment of the machine falls on all alike; the best of three each.
void reportModes(const Folder& folder, int cores) {
    std::vector<std::vector<std::string>> modes = {{},
                                                   {"--compact"},
                                                   {"--jpeg", "85"},
                                                   {"--paper", "a4"},
                                                   {"--color"},
                                                   {"--color", "--jpeg", "85"}};
    if (folder.name == "photos") {
        // The scans may not fit in 5 MB at any quality; the photographs do.
        modes.push_back({"--max-size", "5MB"});
    }
    const bool img2pdf =
        folder.name == "photos" && std::system("command -v img2pdf > /dev/null 2>&1") == 0;
    if (img2pdf) {
        modes.push_back({"img2pdf"});
    }
    std::vector<double> seconds(modes.size(), 1e300);
    std::vector<double> bytes(modes.size(), 0);
    const fs::path document = folder.path / (folder.name + ".pdf");
    const fs::path other = folder.path.parent_path() / (folder.name + "-img2pdf.pdf");
    for (int round = 0; round < 3; ++round) {
        for (std::size_t m = 0; m < modes.size(); ++m) {
            if (modes[m] == std::vector<std::string>{"img2pdf"}) {
                seconds[m] = std::min(seconds[m], convertWithImg2pdf(folder, other));
                bytes[m] = static_cast<double>(fs::file_size(other));
                continue;
            }
            seconds[m] = std::min(seconds[m], convert(folder, cores, modes[m]).seconds);
            bytes[m] = static_cast<double>(fs::file_size(document));
        }
    }
    fs::remove(other);
    std::printf("\n%s, document options on %d cores (best of 3):\n", folder.name.c_str(), cores);
    std::printf("  %-18s %12s %10s %8s %9s %8s\n", "", "bytes", "MiB", "size", "seconds", "time");
    for (std::size_t m = 0; m < modes.size(); ++m) {
        std::string name = modes[m].empty() ? "default" : "";
        for (const std::string& word : modes[m]) {
            name += (name.empty() ? "" : " ") + word;
        }
        std::printf("  %-18s %12.0f %10.2f %8.3f %9.2f %8.3f\n", name.c_str(), bytes[m],
                    bytes[m] / (1024.0 * 1024.0), bytes[m] / bytes[0], seconds[m],
                    seconds[m] / seconds[0]);
    }
    std::printf(
        "  goals: --compact size <= 0.85 on photos, <= 1 on scans, time <= 1.3; --jpeg 85\n"
        "  size <= 0.3 on photos, time <= 1; --paper a4 time within 1%%; --color on photos\n"
        "  like img2pdf in size and time; --max-size 5MB 4,000,000 to 5,000,000 bytes in\n"
        "  at most 4 times the time of --jpeg 85\n");
    std::fflush(stdout);
}

// The photographs as HEIC, WebP and TIFF, the formats whose decoding costs
// the most, twelve of each.
std::vector<Folder> makeOtherPhotoFormats(const fs::path& root) {
    const int count = 12;
    std::vector<Folder> folders;
    folders.push_back(makePhotos(
        root, "photos-heic", "heic", count, [](const fs::path& path, const auto& pixels) {
            writeFile(path, bench::encodeHeic(pixels, kPhotoWidth, kPhotoHeight, 80));
        }));
    folders.push_back(makePhotos(
        root, "photos-webp", "webp", count, [](const fs::path& path, const auto& pixels) {
            writeFile(path, bench::encodeWebp(pixels, kPhotoWidth, kPhotoHeight, 85));
        }));
    folders.push_back(
        makePhotos(root, "photos-tiff", "tif", count, [](const fs::path& path, const auto& pixels) {
            bench::writeTiff(path.string(), pixels, kPhotoWidth, kPhotoHeight);
        }));
    return folders;
}

// Whether GraphicsMagick is installed and reads the folder's first picture.
bool graphicsMagickReads(const Folder& folder) {
    const std::string first = (folder.path / "IMG_0001").string() + folder.extension;
    return std::system(("gm identify '" + first + "' > /dev/null 2>&1").c_str()) == 0;
}

// Seconds GraphicsMagick takes to make a gray, Flate-compressed document of
// the folder's pictures, as its users would ask it to.
double convertWithGraphicsMagick(const Folder& folder, const fs::path& output) {
    const std::string command = "cd '" + folder.path.string() + "' && gm convert *" +
                                folder.extension + " -colorspace gray -compress zip '" +
                                output.string() + "'";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "gm failed on %s\n", folder.path.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The default document against GraphicsMagick's on each folder, on every
// core, the two taking turns; the best of two each.
void reportAgainstGraphicsMagick(const std::vector<Folder>& folders, int cores) {
    std::printf("\nthe default against GraphicsMagick on %d cores (best of 2):\n", cores);
    std::printf("  %-12s %8s %12s %8s %8s %8s\n", "", "seconds", "gm seconds", "time", "MiB",
                "gm MiB");
    for (const Folder& folder : folders) {
        if (!graphicsMagickReads(folder)) {
            std::printf("  %-12s skipped: gm is missing or does not read %s\n", folder.name.c_str(),
                        folder.extension.c_str());
            continue;
        }
        const fs::path other = folder.path.parent_path() / (folder.name + "-gm.pdf");
        double seconds = 1e300;
        double gmSeconds = 1e300;
        for (int round = 0; round < 2; ++round) {
            seconds = std::min(seconds, convert(folder, cores).seconds);
            gmSeconds = std::min(gmSeconds, convertWithGraphicsMagick(folder, other));
        }
        const double mib = 1024.0 * 1024.0;
        std::printf("  %-12s %8.2f %12.2f %8.3f %8.2f %8.2f\n", folder.name.c_str(), seconds,
                    gmSeconds, seconds / gmSeconds,
                    static_cast<double>(fs::file_size(folder.path / (folder.name + ".pdf"))) / mib,
                    static_cast<double>(fs::file_size(other)) / mib);
        std::fflush(stdout);
        fs::remove(other);
    }
    std::printf("  goal: time <= 0.6 of GraphicsMagick's on each format\n");
}

void reportLarge(const Folder& folder, int cores) {
    const RunResult run = convert(folder, cores);
    const fs::path document = folder.path / (folder.name + ".pdf");
    const double documentMiB = static_cast<double>(fs::file_size(document)) / (1024.0 * 1024.0);
    const double budgetMiB =
        (cores + 2) * static_cast<double>(folder.largestRaster) / (1024.0 * 1024.0) + 64;
    const auto pages =
        std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()) - 1;
    std::printf("\n%s: %td pages, document %.1f MiB\n", folder.name.c_str(), pages, documentMiB);
    std::printf("  --jobs %-2d                      %8.2f s   peak %7.1f MiB\n", cores, run.seconds,
                run.peakMiB);
    std::printf(
        "  peak memory / budget           %8.2f     (budget %.1f MiB = %d x largest "
        "picture + 64 MiB)\n",
        run.peakMiB / budgetMiB, budgetMiB, cores + 2);
    std::fflush(stdout);
    // Independent readers must take the document whole, offsets past 2 GiB included.
    for (const std::string& check :
         {"qpdf --check '" + document.string() + "' > /dev/null",
          "pdfinfo '" + document.string() + "' | grep -E '^(Pages|File size):'"}) {
        const int status = std::system(check.c_str());
        std::printf("  %-30s %s\n", check.substr(0, check.find(' ')).c_str(),
                    status == 0 ? "accepts the document" : "FAILS");
        std::fflush(stdout);
    }
    fs::remove(document);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool large = mode == "--large";
    const bool modesOnly = mode == "--modes";
    const bool formatsOnly = mode == "--formats";
    if (large || modesOnly || formatsOnly) {
        --argc;
        ++argv;
    }
    fs::path root;
    if (argc > 1) {
        root = argv[1];
        fs::create_directories(root);
    } else {
        std::string pattern = (fs::temp_directory_path() / "folder2pdf-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::printf("making folders in %s ...\n", root.c_str());
    std::fflush(stdout);
    if (large) {
        for (int count : {10, 100}) {
            const Folder noise = makeNoise(root, count);
            reportLarge(noise, cores);
            fs::remove_all(noise.path);
        }
    } else if (formatsOnly) {
        reportAgainstGraphicsMagick(makeOtherPhotoFormats(root), cores);
    } else {
        const Folder photos = makeJpegPhotos(root, 16);
        const Folder documents = makeDocuments(root, 24);
        if (!modesOnly) {
            report(photos, cores);
            report(documents, cores);
        }
        reportModes(photos, cores);
        reportModes(documents, cores);
        if (!modesOnly) {
            reportAgainstGraphicsMagick(makeOtherPhotoFormats(root), cores);
        }
    }
    if (argc <= 1) {
        fs::remove_all(root);
    }
    return 0;
}
