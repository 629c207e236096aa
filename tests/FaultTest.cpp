// Faults from outside the program, end to end: the command line run as a
// program, or the folder job with the real writer on real folders. Each test
// proves that nothing is lost (every file in the folder, the earlier PDF
// among them, byte for byte as before, and no temporary file left), that
// the job's list is unchanged, and that the error names the file and the
// reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <map>

#include "RecordingView.h"
#include "TestSupport.h"
#include "common/Text.h"
#include "common/Error.h"
#include "job/FolderJob.h"

namespace fs = std::filesystem;
using folder2pdf::Error;
using folder2pdf::FolderJob;
using testsupport::bmpPicture;
using testsupport::CommandResult;
using testsupport::Folder;
using testsupport::Names;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string earlier = "%PDF-1.4 an earlier document, kept byte for byte\n";

// What a folder holds, entry by entry: a file's bytes, a link's target, or
// the kind of anything else. Equal snapshots mean nothing was lost or added.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& folder) {
    Snapshot entries;
    for (const std::string& name : testsupport::listFolder(folder)) {
        const fs::path path = folder + "/" + name;
        entries[name] = fs::is_symlink(path)        ? "link to " + fs::read_symlink(path).string()
                        : fs::is_directory(path)    ? "folder"
                        : fs::is_regular_file(path) ? "file " + readFile(path.string())
                                                    : "other";
    }
    return entries;
}

void expectFailureNaming(const CommandResult& result, const std::string& named,
                         const std::string& reason) {
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
}

// Runs `script` under sh in a mount namespace of its own (as root of a user
// namespace too unless root already), with $0 the program and $1...
// `arguments`; its mounts vanish with it. Status 77 (or a refused
// namespace) means the mounts can't be made here.
CommandResult runWithMounts(const std::string& script, const Names& arguments) {
    Names argv{"unshare", "--mount", "sh", "-c", script, FOLDER2PDF_EXE};
    if (::geteuid() != 0) {
        argv.insert(argv.begin() + 1, "--map-root-user");
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CommandResult result = testsupport::run(argv);
    if (result.err.rfind("unshare:", 0) == 0) {
        result.status = 77;
    }
    return result;
}

#define SKIP_WITHOUT_MOUNTS(result)                                                    \
    if ((result).status == 77) {                                                       \
        GTEST_SKIP() << "no private mounts here (needs unprivileged user namespaces)"; \
    }

// Starts folder2pdf with `arguments` and the stall_fsync library preloaded,
// stopping at the first page written (`duringPages`) or in the final flush,
// output to files in `logs`.
pid_t startStalled(Names arguments, bool duringPages, const TempDir& logs) {
    arguments.insert(arguments.begin(), FOLDER2PDF_EXE);
    const int out = ::open(logs.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int err = ::open(logs.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (duringPages) {
        ::setenv("STALL_AT_WRITE", "1", 1);
    }
    const pid_t child = testsupport::spawn(arguments, out, err, STALL_FSYNC_LIB);
    ::unsetenv("STALL_AT_WRITE");
    ::close(out);
    ::close(err);
    return child;
}

// --- The output can't be written ---------------------------------------------

TEST(OutputFault, ReadOnlyFolderFailsNamingTheDocumentAndKeepsEverything) {
    Folder folder("scans");
    folder.add("1.bmp", 3, 3);
    writeFile(folder.file("scans.pdf"), earlier);
    const Snapshot before = snapshot(folder.path);
    // Root writes through permission bits, not through a read-only mount.
    const auto result =
        runWithMounts(R"(mount --bind -o ro "$1" "$1" || exit 77; exec "$0" "$1")", {folder.path});
    SKIP_WITHOUT_MOUNTS(result);
    expectFailureNaming(result, folder.file("scans.pdf") + ": cannot create a temporary file",
                        "Read-only file system");
    EXPECT_EQ(snapshot(folder.path), before);
}

TEST(OutputFault, FullDiskFailsNamingTheDocumentAndKeepsTheEarlierOne) {
    // The first page, noise larger than the room left and than the write
    // buffer, fills the disk as it is written; the second page, not a
    // picture, would fail the run if the full disk went unnoticed till the
    // end. The folder is copied onto a 1 MiB disk, run there and copied back;
    // the picture itself lies outside.
    Folder folder("scans");
    writeFile(folder.dir.file("noise.bmp"), bmpPicture(2200, 2200, true));
    fs::create_symlink(folder.dir.file("noise.bmp"), folder.file("page1.bmp"));
    writeFile(folder.file("page2.bmp"), "not a picture");
    writeFile(folder.file("scans.pdf"), earlier);
    const std::string disk = folder.dir.file("disk");
    fs::create_directory(disk);
    const auto result = runWithMounts(R"(mount -t tmpfs -o size=1m tmpfs "$1" || exit 77
        cp -a "$2" "$1/scans" && "$0" --jobs 1 "$1/scans"; status=$?
        cp -a "$1/scans" "$3"; exit $status)",
                                      {disk, folder.path, folder.dir.file("after")});
    SKIP_WITHOUT_MOUNTS(result);
    expectFailureNaming(result, disk + "/scans/scans.pdf: ", "No space left on device");
    EXPECT_EQ(snapshot(folder.dir.file("after")), snapshot(folder.path));
}

// A file-size limit: the write fails (EFBIG) instead of the program being
// killed by SIGXFSZ with its temporary file left behind.
TEST(OutputFault, FileSizeLimitFailsNamingTheDocumentAndLeavesNoTemporary) {
    Folder folder("scans");
    writeFile(folder.file("noise.bmp"), bmpPicture(200, 200, true));
    writeFile(folder.file("scans.pdf"), earlier);
    const Snapshot before = snapshot(folder.path);
    const auto result = testsupport::run(
        {"sh", "-c", "ulimit -f 16 && exec \"$0\" \"$@\"", FOLDER2PDF_EXE, folder.path});
    expectFailureNaming(result, folder.file("scans.pdf") + ": cannot write", "File too large");
    EXPECT_EQ(snapshot(folder.path), before);
}

TEST(OutputFault, FlushFailureFailsNamingTheDocumentAndKeepsTheEarlierOne) {
    Folder folder("scans");
    folder.add("1.bmp", 3, 3);
    writeFile(folder.file("scans.pdf"), earlier);
    const Snapshot before = snapshot(folder.path);
    TempDir logs;
    ::setenv("STALL_FSYNC_EIO", "1", 1);
    const pid_t child = startStalled({folder.path}, false, logs);
    ::unsetenv("STALL_FSYNC_EIO");
    CommandResult result;
    ASSERT_EQ(::waitpid(child, &result.status, 0), child);
    result.status = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
    result.err = readFile(logs.file("err"));
    expectFailureNaming(result, folder.file("scans.pdf") + ": cannot flush", "Input/output error");
    EXPECT_EQ(snapshot(folder.path), before);
}

// A link to a file is replaced by the document, the file it led to kept; a
// link to nothing is refused, as writing through it would make a file
// elsewhere.
TEST(OutputFault, SymbolicLinkTargetIsReplacedAndWhatItPointedToIsNot) {
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "dangling link" : "link to a file");
        Folder folder("trip");
        folder.add("a.bmp", 3, 2);
        const std::string pointee = folder.dir.file("elsewhere.pdf");
        if (!dangling) {
            writeFile(pointee, earlier);
        }
        fs::create_symlink(pointee, folder.file("trip.pdf"));
        const auto result = runProgram({folder.path});
        if (dangling) {
            expectFailureNaming(result, folder.file("trip.pdf"), "it is a link to nothing");
            EXPECT_TRUE(fs::is_symlink(folder.file("trip.pdf")));
            EXPECT_FALSE(fs::exists(pointee));
            continue;
        }
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_FALSE(fs::is_symlink(folder.file("trip.pdf")));
        EXPECT_EQ(readFile(folder.file("trip.pdf")).rfind("%PDF-1.4\r\n", 0), 0u);
        EXPECT_EQ(fs::exists(pointee), !dangling);
        if (!dangling) {
            EXPECT_EQ(readFile(pointee), earlier);
        }
        EXPECT_EQ(testsupport::listFolder(folder.path), (Names{"a.bmp", "trip.pdf"}));
    }
}

// --- Names and paths ----------------------------------------------------------

TEST(NameFault, NamesThatAreNotUtf8AreKeptByteForByte) {
    const std::string name = "\xff\xfe scans";
    Folder folder(name);
    folder.add("a\xe9.bmp", 3, 3);
    folder.add("b\xc3.bmp", 5, 5);  // a sequence cut short
    const std::string document = folder.file(name + ".pdf");
    const auto result = runProgram({folder.path});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, document + "\n");
    const std::string written = readFile(document);
    EXPECT_NE(written.find("/Count 2 "), std::string::npos);

    writeFile(folder.file("c\xff.png"), bmpPicture(4, 4).substr(0, 70));
    const Snapshot before = snapshot(folder.path);
    // Messages quote a name that is no UTF-8, so that it reads as one name.
    expectFailureNaming(runProgram({folder.path}),
                        folder2pdf::shownFile(folder.file("c\xff.png")) + ": ", "truncated BMP");
    EXPECT_EQ(snapshot(folder.path), before);
}

// The temporary file's name is longer than the document's; near NAME_MAX
// it is shortened, and a document name beyond NAME_MAX fails clearly.
TEST(NameFault, DocumentNameUpToNameMaxIsWrittenAndBeyondFailsClearly) {
    std::string longName;
    while (longName.size() < 249) {
        longName += "照";
    }
    for (const std::string& name : {longName + "ab", longName + "abc"}) {
        const bool fits = name.size() + 4 <= NAME_MAX;
        SCOPED_TRACE(std::to_string(name.size() + 4) + "-byte document name");
        Folder folder(name);
        folder.add("a.bmp", 2, 2);
        const std::string document = folder.file(name + ".pdf");
        const auto result = runProgram({folder.path});
        if (fits) {
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(testsupport::listFolder(folder.path), (Names{"a.bmp", name + ".pdf"}));
        } else {
            expectFailureNaming(result, document + ": cannot replace", "File name too long");
            EXPECT_EQ(testsupport::listFolder(folder.path), Names{"a.bmp"});
        }
    }
}

// A document path a few bytes short of PATH_MAX: the temporary file's path
// beside it would pass PATH_MAX, its name does not.
TEST(PathFault, DocumentPathJustUnderPathMaxIsWritten) {
    TempDir dir;
    std::string outer = dir.path().string();
    for (char letter = 'a'; letter < 'a' + 19; ++letter) {
        outer += "/" + std::string(200, letter);
        fs::create_directory(outer);
    }
    const std::size_t length = (PATH_MAX - 8 - outer.size()) / 2;
    ASSERT_GT(length, 10u);
    ASSERT_LE(length, 255u);
    const std::string name(length, 'z');
    const std::string folder = outer + "/" + name;
    fs::create_directory(folder);
    writeFile(folder + "/a.bmp", bmpPicture(2, 2));
    const std::string document = folder + "/" + name + ".pdf";
    ASSERT_GT(document.size() + 10, static_cast<std::size_t>(PATH_MAX - 1));
    ASSERT_LT(document.size(), static_cast<std::size_t>(PATH_MAX));

    const auto result = runProgram({folder});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(testsupport::listFolder(folder), (Names{"a.bmp", name + ".pdf"}));
}

// Folders nested beyond PATH_MAX can't be named by one path: a clear error.
TEST(PathFault, FolderPathBeyondPathMaxFailsClearly) {
    TempDir dir;
    // Built and removed one level at a time: no single path reaches them all.
    const int base = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(base, 0);
    std::vector<int> levels{base};
    std::string path = dir.path().string();
    const std::string name(250, 'd');
    while (path.size() <= PATH_MAX) {
        ASSERT_EQ(::mkdirat(levels.back(), name.c_str(), 0755), 0);
        levels.push_back(::openat(levels.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(levels.back(), 0);
        path += "/" + name;
    }
    const auto result = runProgram({path});
    expectFailureNaming(result, path + ": ", "File name too long");
    for (std::size_t i = levels.size() - 1; i > 0; --i) {
        ::close(levels[i]);
        EXPECT_EQ(::unlinkat(levels[i - 1], name.c_str(), AT_REMOVEDIR), 0);
    }
    ::close(base);
}

// --- Pictures that are not files, a document that is a folder -------------

// What, made where a good picture (or, for `document`, the earlier document)
// was, turns it into a fault.
struct OddEntry {
    const char* kind;
    bool document;
    std::function<void(const std::string& path)> make;
    const char* reason;
};

const std::vector<OddEntry> oddEntries = {
    {"a folder", false, [](auto& path) { fs::create_directory(path); }, "not a regular file"},
    {"a FIFO", false, [](auto& path) { ::mkfifo(path.c_str(), 0600); }, "not a regular file"},
    {"a dangling link", false, [](auto& path) { fs::create_symlink(path + ".gone", path); },
     "No such file or directory"},
    {"deleted", false, [](auto&) {}, "No such file or directory"},
    {"not a picture", false, [](auto& path) { writeFile(path, "text"); },
     "not a BMP, GIF, JPEG, PNG, TIFF, WebP, HEIC or AVIF picture"},
    {"cut short", false, [](auto& path) { writeFile(path, bmpPicture(4, 4).substr(0, 70)); },
     "truncated BMP"},
    {"document is a folder", true, [](auto& path) { fs::create_directory(path); },
     "not written there: it is a folder"},
};

// The folder job as the window runs it, with one worker and with two: a
// picture changes between Open and Generate, or the document can't be
// replaced; or a picture is replaced by another, which is taken as it is.
TEST(JobFault, GenerateFailsNamingItAndKeepsListDocumentAndFolder) {
    for (const int workers : {1, 2}) {
        for (const OddEntry& odd : oddEntries) {
            SCOPED_TRACE(std::string(odd.kind) + ", workers " + std::to_string(workers));
            Folder folder("trip");
            for (const char* name : {"1.bmp", "2.bmp", "3.bmp"}) {
                folder.add(name, 3, 3);
            }
            testsupport::RecordingView view;
            view.answer = folder.path;
            FolderJob job{view, "/prog"};
            job.setWorkers(workers);
            job.openFolder();
            folder.add("1.bmp", 7, 5);
            writeFile(folder.file("trip.pdf"), earlier);
            const Names listed = job.entries();
            const std::string named = folder.file(odd.document ? "trip.pdf" : "2.bmp");
            fs::remove(named);
            odd.make(named);
            const Snapshot before = snapshot(folder.path);
            try {
                job.generate();
                ADD_FAILURE() << "generate succeeded";
            } catch (const Error& error) {
                EXPECT_NE(std::string(error.what()).find(named + ": "), std::string::npos);
                EXPECT_NE(std::string(error.what()).find(odd.reason), std::string::npos)
                    << error.what();
            }
            EXPECT_EQ(job.entries(), listed);
            EXPECT_EQ(view.rows, listed);
            EXPECT_EQ(view.message, "count 3");
            EXPECT_EQ(view.log.back(), "showProgress(0)");
            EXPECT_FALSE(job.running());
            EXPECT_EQ(snapshot(folder.path), before);

            fs::remove_all(named);
            folder.add("2.bmp", 3, 3);
            job.generate();
            EXPECT_NE(readFile(folder.file("trip.pdf")).find("/MediaBox [0 0 7 5]"),
                      std::string::npos);
        }
    }
}

// --- Signals during a run ----------------------------------------------------

// Signal 0 lets the run go on; SIGKILL gives the program no say.
TEST(Signals, DuringARunLeaveTheEarlierDocumentAndNoTemporaryFile) {
    const struct {
        int signal;
        bool outputForm, duringPages;  // otherwise during the final flush
    } cases[] = {{0, false, false},      {SIGINT, false, false}, {SIGTERM, false, false},
                 {SIGHUP, false, false}, {SIGINT, true, false},  {SIGTERM, true, false},
                 {0, false, true},       {SIGINT, false, true},  {SIGTERM, false, true},
                 {SIGINT, true, true},   {SIGKILL, false, true}, {SIGKILL, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal) + (c.outputForm ? " to -o" : "") +
                     (c.duringPages ? " during the pages" : " during the final flush"));
        Folder folder("scans");
        // A page of noise larger than the write buffer goes to the file at once.
        folder.add("1.bmp", c.duringPages ? 2200 : 30, c.duringPages ? 2200 : 20, c.duringPages);
        folder.add("2.bmp", 20, 30);
        const std::string document = folder.file("scans.pdf");
        writeFile(document, earlier);
        const Snapshot before = snapshot(folder.path);
        TempDir logs;
        const Names arguments = c.outputForm ? Names{"-o", document, folder.file("1.bmp")}
                                             : Names{"--jobs", "2", folder.path};
        const pid_t child = startStalled(arguments, c.duringPages, logs);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
        ASSERT_TRUE(WIFSTOPPED(status)) << status << ": " << readFile(logs.file("err"));
        EXPECT_EQ(snapshot(folder.path), before) << "the document being written has no name";
        if (c.signal != 0) {
            ::kill(child, c.signal);
        }
        ::kill(child, SIGCONT);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (c.signal == 0) {
            EXPECT_EQ(snapshot(folder.path).size(), before.size());
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << readFile(logs.file("err"));
            EXPECT_EQ(readFile(document).rfind("%PDF-1.4\r\n", 0), 0u);
        } else {
            EXPECT_EQ(snapshot(folder.path), before);
            EXPECT_TRUE(c.signal == SIGINT ? WIFEXITED(status) && WEXITSTATUS(status) == 130
                                           : WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
                << status;
        }
    }
}

}  // namespace
