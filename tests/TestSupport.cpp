#include "TestSupport.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::filesystem::path u8path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::string TempDir::file(const std::string& name) const {
    return utf8(path_) + "/" + name;
}

TempDir::TempDir() {
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ =
            std::filesystem::temp_directory_path() / ("folder2pdf-test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(path_)) {
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Folder::Folder(const std::string& name) : path(dir.file(name)) {
    std::filesystem::create_directories(u8path(path));
}

void Folder::add(const std::string& name, unsigned w, unsigned h, bool noisy) const {
    writeFile(file(name), bmpPicture(w, h, noisy));
}

std::string readFile(const std::string& path) {
    std::ifstream in(u8path(path), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> pageSizes(const std::string& pdfPath) {
    expectQpdfAccepts(pdfPath);
    const std::string document = readFile(pdfPath);
    const std::regex mediaBox(R"(/MediaBox \[0 0 ([\d.]+) ([\d.]+)\])");
    std::vector<std::string> sizes;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), mediaBox);
         it != std::sregex_iterator(); ++it) {
        sizes.push_back((*it)[1].str() + "x" + (*it)[2].str());
    }
    return sizes;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(u8path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string dataFile(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/" + name;
}

std::string jpegTakenAt(const std::string& date, bool damaged) {
    // Little-endian TIFF: the first directory's one entry (0x8769, LONG)
    // points to the Exif directory at 26, whose one entry (0x9003, ASCII of
    // 20) points to the text at 44.
    std::string tiff("II*\0\x08\0\0\0"
                     "\x01\0\x69\x87\x04\0\x01\0\0\0\x1A\0\0\0\0\0\0\0"
                     "\x01\0\x03\x90\x02\0\x14\0\0\0\x2C\0\0\0\0\0\0\0",
                     44);
    if (damaged) {
        tiff[18] = '\x7F';
    }
    tiff += date;
    tiff.resize(64, '\0');
    const std::string app1 = std::string("\xFF\xE1\0\x48" "Exif\0\0", 10) + tiff;
    const std::string jpeg = readFile(dataFile("jpeg/gray.jpg"));
    return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

std::vector<std::uint8_t> inflate(const std::uint8_t* data, std::size_t size) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        throw std::runtime_error("inflateInit failed");
    }
    std::vector<std::uint8_t> out;
    stream.next_in = const_cast<std::uint8_t*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    while (result == Z_OK) {
        std::uint8_t chunk[65536];
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        result = ::inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("broken zlib stream");
    }
    return out;
}

namespace {

void put16(std::vector<std::uint8_t>& f, std::uint32_t v) {
    f.push_back(v & 0xFF);
    f.push_back(v >> 8 & 0xFF);
}

void put32(std::vector<std::uint8_t>& f, std::uint32_t v) {
    put16(f, v & 0xFFFF);
    put16(f, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> bmpFile(const BmpHeader& h, const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> f = {'B', 'M'};
    put32(f, 0);  // file size, which readers ignore
    put32(f, 0);  // reserved
    put32(f, 0);  // pixel offset, patched below
    put32(f, h.size);
    if (h.size == 12) {
        put16(f, static_cast<std::uint32_t>(h.width));
        put16(f, static_cast<std::uint32_t>(h.height));
    } else {
        put32(f, static_cast<std::uint32_t>(h.width));
        put32(f, static_cast<std::uint32_t>(h.height));
    }
    put16(f, h.planes);
    put16(f, h.bits);
    if (h.size >= 40) {
        for (std::size_t value : {std::size_t{h.compression}, pixels.size(), std::size_t{2835},
                                  std::size_t{2835}, std::size_t{h.colorsUsed}, std::size_t{0}}) {
            put32(f, static_cast<std::uint32_t>(value));  // ..., 72 dpi, ..., important colors
        }
    }
    for (std::uint32_t mask : h.masks) {
        put32(f, mask);
    }
    f.resize(std::max<std::size_t>(f.size(), 14 + h.size), 0);
    f.insert(f.end(), h.palette.begin(), h.palette.end());
    const auto offset = h.pixelOffset.value_or(static_cast<std::uint32_t>(f.size()));
    for (int i = 0; i < 4; ++i) {
        f[10 + i] = offset >> 8 * i & 0xFF;
    }
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

std::string bmpPicture(unsigned w, unsigned h, bool noisy) {
    std::vector<std::uint8_t> pixels(((3 * w + 3) & ~3u) * h, 0x80);
    std::uint32_t state = 2463534242u;
    for (std::uint8_t& byte : pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = noisy ? state & 0xff : byte;
    }
    BmpHeader header;
    header.width = static_cast<std::int32_t>(w);
    header.height = static_cast<std::int32_t>(h);
    const auto file = bmpFile(header, pixels);
    return std::string(file.begin(), file.end());
}

Names listFolder(const std::string& path) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(u8path(path))) {
        names.push_back(utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void expectQpdfAccepts(const std::string& path) {
    if (!onWindows && run({"sh", "-c", "command -v qpdf"}).status == 0) {
        const CommandResult check = run({"qpdf", "--check", path});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
    }
}

void linkOrCopy(const std::string& target, const std::string& link) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_symlink(u8path(target), u8path(link), error);
    if (error) {
        const fs::path source = u8path(link).parent_path() / u8path(target);
        if (fs::is_regular_file(source)) {
            fs::copy_file(source, u8path(link));
        }
    }
}

}  // namespace testsupport
