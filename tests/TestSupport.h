#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A file of the committed test pictures.
std::string dataFile(const std::string& name);

struct CommandResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell) and collects its output.
CommandResult run(const std::vector<std::string>& argv);

// Whether a program is on PATH (qpdf, pdfimages...).
bool haveTool(const std::string& name);

// The zlib stream inflated; throws std::runtime_error on a broken stream.
std::vector<std::uint8_t> inflate(const std::uint8_t* data, std::size_t size);

// A 24-bit BMP file of w x h pixels: noise when `noisy` (it hardly
// compresses, so it takes a while), otherwise one gray.
std::string bmpPicture(unsigned w, unsigned h, bool noisy = false);

// Names of the entries of a folder, sorted.
std::vector<std::string> listFolder(const std::string& path);

}  // namespace testsupport
