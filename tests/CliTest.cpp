#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::bmpPicture;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

const std::string exe = FOLDER2PDF_EXE;

testsupport::CommandResult folder2pdf(const Names& arguments) {
    Names argv{exe};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return testsupport::run(argv);
}

// The page sizes of a document of ours, in page order.
Names pageSizes(const std::string& pdfPath) {
    const std::string document = readFile(pdfPath);
    const std::regex mediaBox(R"(/MediaBox \[0 0 (\d+) (\d+)\])");
    Names sizes;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), mediaBox);
         it != std::sregex_iterator(); ++it) {
        sizes.push_back((*it)[1].str() + "x" + (*it)[2].str());
    }
    return sizes;
}

void expectValidPdf(const std::string& path) {
    if (testsupport::haveTool("qpdf")) {
        const auto check = testsupport::run({"qpdf", "--check", path});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
    }
}

// A folder of pictures named after their size, e.g. "a10.bmp" of 10 x 3.
struct PictureFolder {
    TempDir dir;
    std::string path;
    explicit PictureFolder(const std::string& name) : path(dir.file(name)) {
        fs::create_directory(path);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    void add(const std::string& name, unsigned w, unsigned h) {
        writeFile(file(name), bmpPicture(w, h));
    }
};

TEST(CliFolder, WritesTheDocumentNamedAfterTheFolderInNaturalOrder) {
    PictureFolder folder("我的 照片");
    folder.add("b 2.bmp", 7, 3);
    folder.add("a10.bmp", 10, 3);
    folder.add("a9.bmp", 9, 3);
    const auto result = folder2pdf({folder.path});
    const std::string output = folder.file("我的 照片.pdf");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, output + "\n");
    EXPECT_EQ(result.err, "");  // no progress line when stderr is not a terminal
    EXPECT_EQ(pageSizes(output), (Names{"9x3", "10x3", "7x3"}));
    expectValidPdf(output);
}

TEST(CliFolder, TrailingSeparatorOrDotNameTheSameFolder) {
    PictureFolder folder("trip");
    folder.add("a.bmp", 2, 2);
    EXPECT_EQ(folder2pdf({folder.path + "/"}).status, 0);
    const auto fromInside =
        testsupport::run({"sh", "-c", "cd \"$1\" && exec \"$2\" .", "sh", folder.path, exe});
    EXPECT_EQ(fromInside.status, 0) << fromInside.err;
    EXPECT_EQ(testsupport::listFolder(folder.path), (Names{"a.bmp", "trip.pdf"}));
}

// Hidden files and sub-folders are left out, links to pictures are followed.
struct MixedFolder : PictureFolder {
    MixedFolder() : PictureFolder("mixed") {
        add("a10.bmp", 10, 1);
        add("a2.bmp", 2, 1);
        add("Z.PNG", 5, 5);  // a BMP named .PNG: the content decides the format
        add(".hidden.png", 4, 4);
        add("notes.txt", 3, 3);
        fs::create_directory(file("sub.jpg"));
        fs::create_symlink("a2.bmp", file("link.gif"));
    }
};

TEST(CliFolder, ListShowsThePicturesInOrderAndWritesNothing) {
    MixedFolder folder;
    const Names before = testsupport::listFolder(folder.path);
    const auto result = folder2pdf({"--list", folder.path});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "a2.bmp\na10.bmp\nlink.gif\nZ.PNG\n");
    EXPECT_EQ(testsupport::listFolder(folder.path), before);
}

TEST(CliFolder, SymlinkIsAPageWhileHiddenFilesAndSubFoldersAreNot) {
    MixedFolder folder;
    const auto result = folder2pdf({folder.path});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(pageSizes(folder.file("mixed.pdf")), (Names{"2x1", "10x1", "2x1", "5x5"}));
}

TEST(CliFolder, FolderWithoutPicturesShowsZeroAndWritesNothing) {
    PictureFolder folder("empty");
    writeFile(folder.file("notes.txt"), std::string("text"));
    const auto result = folder2pdf({folder.path});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(testsupport::listFolder(folder.path), (Names{"notes.txt"}));
}

TEST(CliFolder, CorruptPictureFailsAndKeepsTheEarlierDocument) {
    PictureFolder folder("scans");
    folder.add("1.bmp", 3, 3);
    writeFile(folder.file("2 broken.png"), std::string("\x89PNG\r\n\x1a\n truncated", 17));
    folder.add("3.bmp", 3, 3);
    const std::string earlier = "%PDF-1.4 an earlier run\n";
    writeFile(folder.file("scans.pdf"), earlier);
    const Names before = testsupport::listFolder(folder.path);

    const auto result = folder2pdf({folder.path});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(folder.file("2 broken.png")), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(folder.file("scans.pdf")), earlier);
    EXPECT_EQ(testsupport::listFolder(folder.path), before);  // no temporary file
}

TEST(CliPictures, OutputFormWritesThePicturesInTheOrderGiven) {
    TempDir dir;
    writeFile(dir.file("a.bmp"), bmpPicture(4, 2));
    writeFile(dir.file("b.bmp"), bmpPicture(6, 2));
    const auto result =
        folder2pdf({"-o", dir.file("out.pdf"), dir.file("b.bmp"), dir.file("a.bmp")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, dir.file("out.pdf") + "\n");
    EXPECT_EQ(pageSizes(dir.file("out.pdf")), (Names{"6x2", "4x2"}));
    expectValidPdf(dir.file("out.pdf"));
}

TEST(CliPictures, MissingPictureFailsAndLeavesTheOutputUntouched) {
    TempDir dir;
    writeFile(dir.file("out.pdf"), std::string("earlier"));
    const auto result = folder2pdf({"-o", dir.file("out.pdf"), dir.file("gone.png")});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(dir.file("gone.png")), std::string::npos) << result.err;
    EXPECT_EQ(readFile(dir.file("out.pdf")), "earlier");
}

TEST(CliUsage, WrongArgumentsExitWithTwoAndTheUsage) {
    const std::vector<Names> cases = {
        {},     {"a", "b"},      {"--list"}, {"--list", "-o", "x.pdf", "a.png"}, {"--bogus", "d"},
        {"-o"}, {"-o", "x.pdf"}, {""},
    };
    for (const Names& arguments : cases) {
        const auto result = folder2pdf(arguments);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("usage: folder2pdf"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

// A run with stderr on a pseudo-terminal, as in an interactive shell. When
// `interruptAt` appears on the terminal the program gets SIGINT.
struct TerminalRun {
    int wait = 0;  // as from waitpid
    std::string out;
    std::string terminal;
};

TerminalRun runOnTerminal(const Names& arguments, const std::string& interruptAt = "") {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char slaveName[128];
    if (::ptsname_r(master, slaveName, sizeof slaveName) != 0) {
        throw std::runtime_error("ptsname_r failed");
    }
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 200;
    ::ioctl(master, TIOCSWINSZ, &size);
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    Names argv{exe};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& argument : argv) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int slave = ::open(slaveName, O_RDWR | O_NOCTTY);
        ::dup2(outPipe[1], 1);
        ::dup2(slave, 2);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    TerminalRun run;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {master, POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.terminal};
    bool interrupted = false;
    int open = 2;
    while (open > 0) {
        ::poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[4096];
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
        if (!interrupted && !interruptAt.empty() &&
            run.terminal.find(interruptAt) != std::string::npos) {
            ::kill(child, SIGINT);
            interrupted = true;
        }
    }
    ::waitpid(child, &run.wait, 0);
    return run;
}

TEST(CliTerminal, ProgressLineShowsEachPictureAndIsClearedAtTheEnd) {
    PictureFolder folder("p");
    folder.add("照片 1.bmp", 2, 2);
    folder.add("照片 2.bmp", 2, 2);
    const TerminalRun run = runOnTerminal({folder.path});
    ASSERT_TRUE(WIFEXITED(run.wait) && WEXITSTATUS(run.wait) == 0) << run.terminal;
    EXPECT_NE(run.terminal.find("\r[1/2] 照片 1.bmp"), std::string::npos) << run.terminal;
    EXPECT_NE(run.terminal.find("\r[2/2] 照片 2.bmp  "), std::string::npos) << run.terminal;
    EXPECT_NE(run.terminal.find(" left"), std::string::npos) << run.terminal;
    EXPECT_NE(run.terminal.find("\r\033[Kdone: 2 pages in "), std::string::npos) << run.terminal;
    EXPECT_EQ(run.out, folder.file("p.pdf") + "\n");
}

TEST(CliTerminal, QuietPrintsNothing) {
    PictureFolder folder("p");
    folder.add("a.bmp", 2, 2);
    const TerminalRun run = runOnTerminal({"--quiet", folder.path});
    EXPECT_TRUE(WIFEXITED(run.wait) && WEXITSTATUS(run.wait) == 0);
    EXPECT_EQ(run.terminal, "");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::exists(folder.file("p.pdf")));
}

TEST(CliTerminal, CtrlCStopsEitherFormAndWritesNothing) {
    // Enough large noisy pictures that the run is far from done when the
    // second picture shows up on the terminal.
    PictureFolder folder("long");
    writeFile(folder.file("noise.bmp"), bmpPicture(1000, 1000, true));
    Names pictures{"-o", folder.file("long.pdf"), folder.file("noise.bmp")};
    for (int i = 1; i <= 60; ++i) {
        fs::create_symlink("noise.bmp", folder.file("page" + std::to_string(i) + ".bmp"));
        pictures.push_back(folder.file("page" + std::to_string(i) + ".bmp"));
    }
    const std::string earlier = "%PDF-1.4 an earlier run\n";
    writeFile(folder.file("long.pdf"), earlier);
    const Names before = testsupport::listFolder(folder.path);

    for (const Names& arguments : {Names{folder.path}, pictures}) {
        const TerminalRun run = runOnTerminal(arguments, "[2/61]");
        ASSERT_TRUE(WIFEXITED(run.wait)) << "ended by signal " << WTERMSIG(run.wait);
        EXPECT_EQ(WEXITSTATUS(run.wait), 130);
        EXPECT_NE(run.terminal.find("stopped after "), std::string::npos) << run.terminal;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readFile(folder.file("long.pdf")), earlier);
        EXPECT_EQ(testsupport::listFolder(folder.path), before);  // no temporary file
    }
}

}  // namespace
