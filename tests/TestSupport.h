#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Names = std::vector<std::string>;

// A fresh temporary folder, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // `name` in the folder, in UTF-8 with "/", as the program takes paths.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// UTF-8 paths to std::filesystem's and back (not the ANSI code page on Windows).
std::filesystem::path u8path(const std::string& path);
std::string utf8(const std::filesystem::path& path);

// A folder `name` (of one or more levels) in a fresh temporary folder.
struct Folder {
    TempDir dir;
    std::string path;
    explicit Folder(const std::string& name);
    std::string file(const std::string& name) const { return path + "/" + name; }
    // A one-gray (or noisy) 24-bit BMP of w x h pixels.
    void add(const std::string& name, unsigned w, unsigned h, bool noisy = false) const;
};

std::string readFile(const std::string& path);
// The page sizes of a document of ours ("3x2"), in page order; qpdf checks it too.
std::vector<std::string> pageSizes(const std::string& pdfPath);
void writeFile(const std::string& path, const std::string& bytes);

// A file of the committed test pictures.
std::string dataFile(const std::string& name);

// Names of the entries of a folder, sorted.
Names listFolder(const std::string& path);

// The fields of a BMP file that tests vary; bmpFile() writes them.
struct BmpHeader {
    std::uint32_t size = 40;  // 12 core, 16/64 OS/2 2.x, 40 info, 52/56, 108 V4, 124 V5
    std::int32_t width = 3;
    std::int32_t height = 2;  // negative: rows stored top-down
    std::uint16_t planes = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> masks;   // from byte 54: inside 52+ headers, after a 40-byte one
    std::vector<std::uint8_t> palette;  // entries as stored: B, G, R (, 0)
    std::optional<std::uint32_t> pixelOffset;  // default: right after the palette
};
std::vector<std::uint8_t> bmpFile(const BmpHeader& h, const std::vector<std::uint8_t>& pixels);

// A 24-bit BMP of w x h pixels: noise when `noisy` (slow to compress), else one gray.
std::string bmpPicture(unsigned w, unsigned h, bool noisy = false);

// A small gray JPEG (the committed jpeg/gray.jpg) with an EXIF block whose
// DateTimeOriginal is `date` ("YYYY:MM:DD HH:MM:SS"); with `damaged` the
// block's pointer to its Exif directory leads outside it.
std::string jpegTakenAt(const std::string& date, bool damaged = false);

// The zlib stream inflated; throws std::runtime_error on a broken stream.
std::vector<std::uint8_t> inflate(const std::uint8_t* data, std::size_t size);

// Starts a program (no shell) with standard input from /dev/null and its
// output on the given descriptors; `preload` goes into LD_PRELOAD. POSIX only.
pid_t spawn(const Names& argv, int out, int err, const std::string& preload = "");

struct CommandResult {
    int status = -1;  // exit status, or minus the number of the signal that ended it
    std::string out;
    std::string err;  // or what the program wrote on its terminal
};

struct RunOptions {
    // Standard error on a terminal: a pseudo-terminal, as in a shell, whose
    // bytes `err` gets; on Windows a console, whose screen `err` gets as it
    // shows at the end, a line a row.
    bool terminal = false;
    std::string interruptAt;  // sends SIGINT once this shows on standard error
    // Windows only: ends the program (TerminateProcess, exit code 9) once
    // this folder holds one entry more than at the start.
    std::string killOnNewEntryIn;
};

// Runs a program and collects its output.
CommandResult run(const Names& argv, const RunOptions& options = {});

// qpdf --check finds no fault in the PDF at `path`, where qpdf is installed
// (on Windows the documents are compared with the Linux build's instead).
void expectQpdfAccepts(const std::string& path);

// Whether the tests run on Windows, for skipping what makes sense only elsewhere.
extern const bool onWindows;

// A symbolic link at `link` to `target`, or, where links can't be made
// (Windows without the privilege), a copy of `target` when it is a file.
void linkOrCopy(const std::string& target, const std::string& link);

// Runs `steps` while the existing file `document` can't be replaced: its
// folder refuses writes (POSIX; root runs them as nobody), or it is held
// open as a PDF reader holds it, sharing only reading (Windows).
void whileUnwritable(const std::string& document, const std::function<void()>& steps);

// On Windows, holds the existing file open as a PDF reader does from now
// until `milliseconds` have passed, on the thread returned; elsewhere
// returns no thread.
std::thread holdAsReader(const std::string& path, int milliseconds);

// Gives the file the hidden attribute where the system has one (Windows); false elsewhere.
bool hideFile(const std::string& path);

#ifdef FOLDER2PDF_EXE
// Runs the command line with these arguments.
inline CommandResult runProgram(Names arguments, const RunOptions& options = {}) {
    arguments.insert(arguments.begin(), FOLDER2PDF_EXE);
    return run(arguments, options);
}
#endif

}  // namespace testsupport
