#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "folder2pdf-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Folder::Folder(const std::string& name) : path(dir.file(name)) {
    std::filesystem::create_directory(path);
}

void Folder::add(const std::string& name, unsigned w, unsigned h, bool noisy) const {
    writeFile(file(name), bmpPicture(w, h, noisy));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string dataFile(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/" + name;
}

pid_t spawn(const Names& argv, int out, int err, const std::string& preload) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        if (!preload.empty()) {
            // A sanitizer runtime insists on coming first unless told otherwise.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options =
                std::string("verify_asan_link_order=0") + (asan ? std::string(":") + asan : "");
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
            ::setenv("LD_PRELOAD", preload.c_str(), 1);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

CommandResult run(const Names& argv, const RunOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    int errWrite = errPipe[1];
    if (options.terminal) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        errPipe[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (errPipe[0] < 0 || ::grantpt(errPipe[0]) != 0 || ::unlockpt(errPipe[0]) != 0 ||
            ::ptsname_r(errPipe[0], name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 200;
        ::ioctl(errPipe[0], TIOCSWINSZ, &size);
        errWrite = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    const pid_t child = spawn(argv, outPipe[1], errWrite);
    ::close(outPipe[1]);
    ::close(errWrite);
    CommandResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    bool interrupted = options.interruptAt.empty();
    int open = 2;
    while (open > 0) {
        ::poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got <= 0) {  // a terminal's master reads EIO once the program is gone
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                }
            }
        }
        if (!interrupted && result.err.find(options.interruptAt) != std::string::npos) {
            ::kill(child, SIGINT);
            interrupted = true;
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return result;
}

bool haveTool(const std::string& name) {
    return run({"sh", "-c", "command -v " + name}).status == 0;
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
            put32(f, static_cast<std::uint32_t>(value));  // ..., 72 dpi, ..., important colours
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
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testsupport
