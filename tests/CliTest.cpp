#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>

#include "TestSupport.h"
#include "job/CommandLine.h"

namespace fs = std::filesystem;
using testsupport::Folder;
using testsupport::Names;
using testsupport::readFile;
using testsupport::runProgram;

namespace {

using testsupport::pageSizes;

// A path as the program prints it: with "\\" on Windows.
std::string shown(std::string path) {
    std::replace(path.begin(), path.end(), '/', testsupport::onWindows ? '\\' : '/');
    return path;
}

// A W x H gray BMP whose pixel (x, y) is level(x, y).
void addGray(const Folder& folder, const std::string& name, unsigned W, unsigned H,
             const std::function<int(unsigned, unsigned)>& level) {
    const unsigned stride = (3 * W + 3) & ~3u;
    std::vector<std::uint8_t> pixels(stride * H, 0);
    for (unsigned y = 0; y < H; ++y) {  // rows stored bottom-up
        for (unsigned x = 0; x < W; ++x) {
            std::fill_n(&pixels[(H - 1 - y) * stride + 3 * x], 3, level(x, y));
        }
    }
    testsupport::BmpHeader header;
    header.width = static_cast<std::int32_t>(W);
    header.height = static_cast<std::int32_t>(H);
    const auto file = testsupport::bmpFile(header, pixels);
    testsupport::writeFile(folder.file(name), std::string(file.begin(), file.end()));
}

// What an independent reader prints, or "" where it can't run (Windows).
std::string reader(const Names& command) {
    if (testsupport::onWindows) {
        return "";
    }
    const auto result = testsupport::run(command);
    EXPECT_EQ(result.status, 0) << command[0] << ": " << result.err;
    return result.out;
}

// Each page's raster as poppler draws it at one pixel per point.
Names rasters(const std::string& pdfPath, const std::string& prefix) {
    reader({"pdftoppm", "-r", "72", "-gray", pdfPath, prefix});
    Names pages;
    for (int k = 1; fs::exists(prefix + "-" + std::to_string(k) + ".pgm"); ++k) {
        pages.push_back(readFile(prefix + "-" + std::to_string(k) + ".pgm"));
    }
    return pages;
}

// A regular expression's first group at each match in a document.
Names matches(const std::string& document, const std::string& pattern) {
    Names found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(document.begin(), document.end(), expression);
         it != std::sregex_iterator(); ++it) {
        found.push_back((*it)[1].str());
    }
    return found;
}

// Each image object of a document, from its type to the end of its stream.
Names images(const std::string& document) {
    Names found;
    for (std::size_t at = document.find("/Subtype /Image"); at != std::string::npos;
         at = document.find("/Subtype /Image", at + 1)) {
        found.push_back(document.substr(at, document.find("endstream", at) - at));
    }
    return found;
}

// The document is named after the folder and takes what --list shows, in
// that order: hidden files, sub-folders, the folder's own document and
// files that are no pictures by their first bytes left out (and named on
// standard error), links to pictures followed, the content deciding the
// format.
TEST(CliFolder, ListAndDocumentTakeThePicturesInNaturalOrder) {
    Folder folder("我的 照片.jpg");
    folder.add("b 2.bmp", 7, 3);
    folder.add("a10.bmp", 10, 3);
    folder.add("a9.bmp", 9, 3);
    folder.add("Z.PNG", 5, 5);
    folder.add("c.jpeg", 2, 2);
    folder.add("d.JFIF", 3, 2);
    folder.add("e.png.txt", 4, 1);
    folder.add(".hidden.png", 4, 4);
    folder.add("notes.txt", 3, 3);
    testsupport::writeFile(folder.file("x.jpg - 快捷方式.lnk"),
                           std::string("L\0\0\0\1\x14\2\0", 8));
    fs::create_directory(testsupport::u8path(folder.file("sub.jpg")));
    testsupport::linkOrCopy("a9.bmp", folder.file("link.gif"));
    const Names before = testsupport::listFolder(folder.path);
    const std::string listed =
        "a9.bmp\na10.bmp\nb 2.bmp\nc.jpeg\nd.JFIF\ne.png.txt\nlink.gif\nZ.PNG\n";
    const std::string leftOut =
        "folder2pdf: left out: x.jpg - 快捷方式.lnk: not a BMP, GIF, JPEG, PNG, TIFF, WebP, HEIC or AVIF "
        "picture\n";
    const auto list = runProgram({"--list", folder.path});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, listed);
    EXPECT_EQ(list.err, leftOut);
    EXPECT_EQ(testsupport::listFolder(folder.path), before);

    const auto result = runProgram({folder.path + "/"});
    const std::string output = folder.file("我的 照片.jpg.pdf");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, shown(output) + "\n");
    EXPECT_EQ(result.err, leftOut);  // said on every run; no progress line off a terminal
    EXPECT_EQ(pageSizes(output), (Names{"9x3", "10x3", "7x3", "2x2", "3x2", "4x1", "9x3", "5x5"}));
    Names after = before;
    after.push_back("我的 照片.jpg.pdf");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(testsupport::listFolder(folder.path), after);
    const auto again = runProgram({"--list", folder.path});
    EXPECT_EQ(again.out, listed);
    EXPECT_EQ(again.err, leftOut);
}

// The pictures given, in the order given, then the folder itself, in a path
// deeper than the 260 characters that once bounded a path on Windows.
// --sort taken: EXIF dates by date, a JPEG without one by its file's time
// (now, between the two dates); --reverse turns the order round.
TEST(CliFolder, SortTakenReverseListsTheLatestPhotoFirst) {
    Folder folder("dates");
    testsupport::writeFile(folder.file("a.jpg"), testsupport::jpegTakenAt("2099:05:01 10:00:00"));
    testsupport::writeFile(folder.file("b.jpg"), testsupport::jpegTakenAt("1999:05:01 10:00:00"));
    testsupport::writeFile(folder.file("c.jpg"),
                           testsupport::readFile(testsupport::dataFile("jpeg/gray.jpg")));
    const auto list = runProgram({"--sort", "taken", "--reverse", "--list", folder.path});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "a.jpg\nc.jpg\nb.jpg\n");
}

TEST(CliPictures, OutputFormTakesTheOrderGivenEvenInALongPath) {
    const std::string deep = std::string(100, 'd') + "/";
    Folder folder(deep + deep + deep + "相册");
    folder.add("a.bmp", 4, 2);
    folder.add("b.bmp", 6, 2);
    const std::string out = folder.file("out.pdf");
    const auto result = runProgram({"-o", out, folder.file("b.bmp"), folder.file("a.bmp")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, shown(out) + "\n");
    EXPECT_EQ(pageSizes(out), (Names{"6x2", "4x2"}));
    EXPECT_EQ(runProgram({folder.path}).status, 0);
    EXPECT_EQ(pageSizes(folder.file("相册.pdf")), (Names{"4x2", "6x2"}));
}

// On Windows, a document held open by a reader: a hold that ends within a
// second is waited out; one that lasts is reported before any page, the
// earlier document kept. A program killed mid-run leaves nothing behind.
TEST(CliFolder, HeldDocumentIsWaitedForOrReportedAndAKilledRunLeavesNothing) {
    if (!testsupport::onWindows) {
        GTEST_SKIP() << "only Windows holds files against their replacing";
    }
    Folder folder("held");
    folder.add("a.bmp", 3, 2);
    folder.add("noise.bmp", 1500, 1500, true);
    const std::string document = folder.file("held.pdf");
    testsupport::writeFile(document, "earlier");
    const Names before = testsupport::listFolder(folder.path);
    testsupport::whileUnwritable(document, [&] {
        const auto held = runProgram({folder.path});
        EXPECT_EQ(held.status, 1);
        EXPECT_EQ(held.err, "folder2pdf: " + shown(document) +
                                ": cannot replace: in use by another program\n");
    });
    const auto killed = runProgram({folder.path}, {false, "", folder.path});
    EXPECT_EQ(killed.status, 9);
    EXPECT_EQ(readFile(document), "earlier");
    EXPECT_EQ(testsupport::listFolder(folder.path), before);

    std::thread hold = testsupport::holdAsReader(document, 1000);
    const auto waited = runProgram({folder.path});
    hold.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(pageSizes(document), (Names{"3x2", "1500x1500"}));
}

TEST(CliUsage, WrongArgumentsExitWithTwoAndTheUsage) {
    const std::vector<Names> cases = {
        {},
        {"a", "b"},
        {"--list"},
        {"--list", "-o", "x.pdf", "a.png"},
        {"--bogus", "d"},
        {"-o"},
        {"-o", "x.pdf"},
        {""},
        {"--jobs", "0", "d"},
        {"-j", "1025", "d"},
        {"--compact", "--jpeg", "50", "d"},
        {"--jpeg=101", "d"},
        {"--paper", "b5", "d"},
        {"--margin", "5", "d"},
        {"--paper", "a4", "--dpi", "300", "d"},
        {"--paper", "letter", "--margin", "108", "d"},
        {"--paper", "a4", "--fit", "all", "d"},
        {"--dpi", "1.5", "d"},
        {"--each-subfolder", "p", "d"},
        {"--title"},
    };
    for (const Names& arguments : cases) {
        const auto result = runProgram(arguments);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("usage: folder2pdf"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

// No -o target that would lose a file is written: each is left as it was,
// with a message naming it, exit 1.
TEST(CliOutput, HostileTargetsAreRefusedAndLeftAsTheyWere) {
    Folder folder("out");
    folder.add("a.bmp", 2, 2);
    const std::string picture = readFile(folder.file("a.bmp"));
    std::error_code error;
    fs::create_hard_link(testsupport::u8path(folder.file("a.bmp")),
                         testsupport::u8path(folder.file("hard.bmp")), error);
    fs::create_directory(testsupport::u8path(folder.file("dir.pdf")));
    Names targets = {folder.file("a.bmp"), folder.path + "/./a.bmp", folder.file("dir.pdf")};
    if (!error) {
        targets.push_back(folder.file("hard.bmp"));
    }
#ifndef _WIN32
    fs::create_symlink("nowhere.pdf", folder.file("dangling.pdf"));
    fs::create_symlink("/dev/null", folder.file("null.pdf"));
    ASSERT_EQ(::mkfifo(folder.file("fifo.pdf").c_str(), 0600), 0);
    targets.insert(targets.end(), {"/dev/null", folder.file("fifo.pdf"),
                                   folder.file("dangling.pdf"), folder.file("null.pdf")});
#else
    targets.insert(targets.end(), {"NUL", folder.file("con.pdf")});
#endif
    const Names before = testsupport::listFolder(folder.path);
    for (const std::string& target : targets) {
        const auto result = runProgram({"-o", target, folder.file("a.bmp")});
        EXPECT_EQ(result.status, 1) << target;
        EXPECT_NE(result.err.find("not written there: "), std::string::npos) << result.err;
        EXPECT_EQ(readFile(folder.file("a.bmp")), picture);
        EXPECT_EQ(testsupport::listFolder(folder.path), before) << target;
    }
}

// "-o -" sends the document, and nothing else, down a pipe; a run that
// leaves a picture out under -k still writes the rest, exit 3; a folder
// without pictures is an error.
TEST(CliOutput, PipeKeepGoingAndNothingToWrite) {
    Folder folder("k");
    folder.add("a.bmp", 2, 2);
    folder.add("c.bmp", 3, 3);
    testsupport::writeFile(folder.file("b.bmp"), "BM cut short");
    const auto piped = runProgram({"-o", "-", folder.file("a.bmp"), folder.file("c.bmp")});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.substr(0, 8), "%PDF-1.4");
    // The test's own pipe on Windows reads CR LF as LF.
    EXPECT_NE(piped.out.find("%%EOF", piped.out.size() - 8), std::string::npos);

    EXPECT_EQ(runProgram({folder.path}).status, 1);
    EXPECT_FALSE(fs::exists(testsupport::u8path(folder.file("k.pdf"))));
    const auto kept = runProgram({"-k", folder.path});
    EXPECT_EQ(kept.status, 3) << kept.err;
    EXPECT_NE(kept.err.find(shown(folder.file("b.bmp")) + ": "), std::string::npos) << kept.err;
    EXPECT_EQ(pageSizes(folder.file("k.pdf")), (Names{"2x2", "3x3"}));

    const Folder empty("empty");
    testsupport::writeFile(empty.file("notes.png"), "text");
    const auto none = runProgram({empty.path});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("folder2pdf: left out: notes.png: "), std::string::npos);
    EXPECT_NE(none.err.find("folder2pdf: no pictures in " + shown(empty.path) + "; nothing written"),
              std::string::npos)
        << none.err;
}

// --help, the manual page and the completion come from one table: every
// option is in each.
TEST(CliUsage, HelpManualAndCompletionListEveryOption) {
    const std::string help = runProgram({"--help"}).out;
    // Made at build time where they are installed (not on Windows).
    const std::string built = FOLDER2PDF_BUILT_CLI;
    const bool made = fs::exists(testsupport::u8path(built + "/folder2pdf.1"));
    const std::string manual = made ? readFile(built + "/folder2pdf.1") : "";
    const std::string completion = made ? readFile(built + "/folder2pdf.bash-completion") : "";
    const auto roff = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            out += c == '-' ? std::string("\\-") : std::string(1, c);
        }
        return out;
    };
    for (const folder2pdf::CommandOption& option : folder2pdf::commandOptions()) {
        EXPECT_NE(help.find(option.name), std::string::npos) << option.name;
        if (made) {
            EXPECT_NE(manual.find(roff(option.name)), std::string::npos) << option.name;
            EXPECT_NE(completion.find(std::string(" ") + option.name), std::string::npos)
                << option.name;
        }
    }
}

// Every option keeps each page's pixels exactly, JPEG within its error: the
// smallest encoding for each picture (fewer bits where its levels allow,
// PNG predictors, plain Flate), never a page 1% larger than the default's;
// a paper changes only the page and the placement, not the image.
TEST(CliOptions, PagesKeepTheirPixelsInEveryMode) {
    Folder folder("modes");
    unsigned seed = 7;
    const auto noise = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    addGray(folder, "1 two.bmp", 4097, 3, [&](unsigned, unsigned) { return noise() % 2 * 255; });
    addGray(folder, "2 three.bmp", 3, 5,
            [](unsigned x, unsigned y) { return (x + y) % 3 * 85 + (x + y) % 3 / 2 * 85; });
    addGray(folder, "3 sixteen.bmp", 1, 40, [](unsigned, unsigned y) { return y % 16 * 17; });
    addGray(folder, "4 seventeen.bmp", 4097, 1, [](unsigned x, unsigned) { return x % 17 * 15; });
    addGray(folder, "5 blocks.bmp", 4097, 70,
            [&](unsigned x, unsigned y) { return (x / 7 * 13 + y / 5 * 29 + noise() % 3) % 256; });
    unsigned period[7];
    for (unsigned& level : period) {
        level = noise() % 256;
    }
    addGray(folder, "6 periodic.bmp", 700, 400,
            [&](unsigned x, unsigned y) { return period[(x + y) % 7]; });
    addGray(folder, "7 smooth.bmp", 4097, 10,
            [&](unsigned x, unsigned y) { return (x / 20 + y + noise() % 9) % 256; });
    const std::string plain = folder.file("plain.pdf");
    ASSERT_EQ(runProgram({"-o", plain, folder.path}).status, 1);  // a folder is no picture
    Names pictures;
    for (const std::string& name : testsupport::listFolder(folder.path)) {
        pictures.push_back(folder.file(name));
    }
    const auto convert = [&](const std::string& name, Names options) {
        options.insert(options.end(), {"-o", folder.file(name)});
        options.insert(options.end(), pictures.begin(), pictures.end());
        const auto result = runProgram(options);
        EXPECT_EQ(result.status, 0) << result.err;
        return readFile(folder.file(name));
    };
    const std::string byDefault = convert("plain.pdf", {});
    const Names defaultRasters = rasters(plain, folder.file("plain"));
    const std::string length = R"(/Subtype /Image .*?/Length (\d+))";

    const std::string compact = convert("compact.pdf", {"--compact"});
    EXPECT_EQ(rasters(folder.file("compact.pdf"), folder.file("compact")), defaultRasters);
    EXPECT_EQ(matches(compact, R"(/BitsPerComponent (\d) /F)"),
              (Names{"1", "2", "4", "8", "8", "8", "8"}));
    EXPECT_EQ(matches(compact, R"(/Subtype /Image .*(/Predictor 15))").size(), 2u);
    const Names sizes = matches(byDefault, length);
    const Names compactSizes = matches(compact, length);
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        EXPECT_LE(std::stod(compactSizes[k]), std::stod(sizes[k]) * 1.01) << "page " << k + 1;
    }
    EXPECT_LT(std::stod(compactSizes[4]), std::stod(sizes[4]) * 0.9);  // the page of blocks

    const std::string jpeg = convert("jpeg.pdf", {"--jpeg", "90"});
    EXPECT_EQ(matches(jpeg, "(/DCTDecode)").size(), 7u);
    const Names jpegRasters = rasters(folder.file("jpeg.pdf"), folder.file("jpeg"));
    for (std::size_t k = 0; k < jpegRasters.size() && jpegRasters.size() == defaultRasters.size();
         ++k) {
        const std::string& a = defaultRasters[k];
        const std::string& b = jpegRasters[k];
        ASSERT_EQ(a.size(), b.size());
        double error = 0;
        for (std::size_t i = a.size() - 1; a[i] != '\n'; --i) {  // the pixels after the header
            error += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
        }
        EXPECT_LT(error / static_cast<double>(a.size()), 48) << "page " << k + 1;
    }
    const std::string paper = convert("paper.pdf", {"--paper=a4", "--margin", "10"});
    EXPECT_EQ(images(paper), images(byDefault));
    EXPECT_EQ(pageSizes(folder.file("paper.pdf"))[0], "841.89x595.28");
    EXPECT_EQ(pageSizes(folder.file("paper.pdf"))[2], "595.28x841.89");
    for (const char* name : {"compact.pdf", "jpeg.pdf", "paper.pdf"}) {
        testsupport::expectQpdfAccepts(folder.file(name));
    }
}

// The title shows in viewers whatever its script, and every page gets a

// --max-size: the document lands within the limit and near it, the photos
// as JPEG of one quality (scaled down for a small limit), a page of two
// levels lossless; a limit below what can be reached is an error, with
// nothing written.
TEST(CliOptions, MaxSizeLandsWithinTheLimitOrSaysWhatCanBeReached) {
    Folder folder("size");
    unsigned seed = 11;
    const auto noise = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp"}) {
        addGray(folder, name, 600, 400,
                [&](unsigned x, unsigned y) { return (x * 3 + y * 2 + noise() % 40) % 256; });
    }
    addGray(folder, "4 text.bmp", 600, 400, [](unsigned x, unsigned y) {
        return (x / 8 + y / 8) % 2 * 255;
    });
    const std::string document = folder.file("size.pdf");
    for (const std::int64_t limit : {600000, 150000, 20000}) {
        SCOPED_TRACE(limit);
        const auto result = runProgram({"--max-size", std::to_string(limit / 1000) + "KB",
                                        folder.path});
        ASSERT_EQ(result.status, 0) << result.err;
        const auto size = static_cast<std::int64_t>(fs::file_size(testsupport::u8path(document)));
        EXPECT_LE(size, limit);
        EXPECT_GE(size, limit * 7 / 10) << result.err;
        const Names kinds = matches(readFile(document), R"(/Filter (\S+))");
        EXPECT_EQ(kinds, (Names{"/DCTDecode", "/DCTDecode", "/DCTDecode", "[/FlateDecode]"}));
        EXPECT_NE(result.err.find("photographs as JPEG of quality "), std::string::npos);
        testsupport::expectQpdfAccepts(document);
    }
    fs::remove(testsupport::u8path(document));
    const auto missed = runProgram({"--max-size", "2KB", folder.path});
    EXPECT_EQ(missed.status, 1);
    EXPECT_NE(missed.err.find("the smallest it can be is about "), std::string::npos) << missed.err;
    EXPECT_FALSE(fs::exists(testsupport::u8path(document)));
}

// bookmark named after its picture, in page order, each leading to its page.
TEST(CliOptions, TitleAndBookmarksReachTheReaders) {
    Folder folder("book");
    folder.add("b (1).png.bmp", 2, 2);
    folder.add("a.bmp", 3, 2);
    folder.add("相册.bmp", 4, 2);
    const std::string out = folder.file("out.pdf");
    ASSERT_EQ(
        runProgram({"--title", "相册 (2)", "--bookmarks", "--dpi", "144", "-o", out,
                    folder.file("b (1).png.bmp"), folder.file("a.bmp"), folder.file("相册.bmp")})
            .status,
        0);
    EXPECT_EQ(pageSizes(out), (Names{"1x1", "1.5x1", "2x1"}));
    const std::string document = readFile(out);
    EXPECT_NE(document.find("/Title <FEFF76F8518C0020002800320029>"), std::string::npos);
    EXPECT_NE(document.find("/ViewerPreferences << /DisplayDocTitle true >>"), std::string::npos);
    EXPECT_NE(document.find("<< /Type /Outlines /First 13 0 R /Last 15 0 R /Count 3 >>"),
              std::string::npos);
    const std::string info = reader({"pdfinfo", out});
    if (!info.empty()) {
        EXPECT_NE(info.find("Title:           相册 (2)\n"), std::string::npos) << info;
    }
    const std::string outlines = reader({"qpdf", "--json", "--json-key=outlines", out});
    if (!outlines.empty()) {
        EXPECT_EQ(matches(outlines, R"x("title": "(.*)")x"), (Names{"b (1).png", "a", "相册"}));
        EXPECT_EQ(matches(outlines, R"("destpageposfrom1": (\d+))"), (Names{"1", "2", "3"}));
    }
}

// --each-subfolder: a document in each sub-folder with pictures, in natural
// order; a broken one is reported by name and the others still written.
TEST(CliOptions, EachSubfolderWritesADocumentInEachAndReportsFailures) {
    Folder folder("parent");
    for (const char* sub : {"b10", "b9", "broken", ".hidden", "empty", "a1"}) {
        fs::create_directory(testsupport::u8path(folder.file(sub)));
        folder.add(std::string(sub) + "/p.bmp", 2, 2);
    }
    fs::remove(testsupport::u8path(folder.file("empty/p.bmp")));
    testsupport::writeFile(folder.file("broken/p.bmp"), "BM broken");
    folder.add("loose.bmp", 2, 2);
    testsupport::RunOptions onTerminal;
    onTerminal.terminal = !testsupport::onWindows;
    const auto result = runProgram({"--dpi", "144", "--each-subfolder", folder.path}, onTerminal);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, shown(folder.file("a1/a1.pdf")) + "\n" +
                              shown(folder.file("b9/b9.pdf")) + "\n" +
                              shown(folder.file("b10/b10.pdf")) + "\n");
    EXPECT_NE(result.err.find("folder2pdf: " + shown(folder.file("broken/p.bmp")) + ": "),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(testsupport::u8path(folder.file("broken/broken.pdf"))));
    EXPECT_EQ(pageSizes(folder.file("b9/b9.pdf")), Names{"1x1"});
    EXPECT_FALSE(fs::exists(testsupport::u8path(folder.file(".hidden/.hidden.pdf"))));
    if (!testsupport::onWindows) {
        EXPECT_NE(result.err.find("[3/4] b10/p.bmp"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("done: 3 documents, 3 pages in "), std::string::npos);
    }
    fs::remove_all(testsupport::u8path(folder.file("broken")));
    EXPECT_EQ(runProgram({"--quiet", "--each-subfolder", folder.path}).status, 0);
}

// Each sub-folder's document is the very one the folder alone gives, with a
// shortcut, a text file named like a picture and an empty picture beside the
// pictures; a parent without pictures writes nothing and says so.
TEST(CliOptions, EachSubfolderGivesWhatTheFolderAloneGives) {
    Folder parent("album");
    fs::create_directory(testsupport::u8path(parent.file("trip")));
    parent.add("trip/a.bmp", 3, 2);
    parent.add("trip/b.bmp", 2, 5);
    testsupport::writeFile(parent.file("trip/x.jpg - 快捷方式.lnk"), std::string("L\0\0\0", 4));
    testsupport::writeFile(parent.file("trip/notes.png"), "text");
    testsupport::writeFile(parent.file("trip/empty.jpg"), "");
    const std::string document = parent.file("trip/trip.pdf");
    const auto each = runProgram({"--bookmarks", "--each-subfolder", parent.path});
    ASSERT_EQ(each.status, 0) << each.err;
    const std::string fromParent = readFile(document);
    fs::remove(testsupport::u8path(document));
    ASSERT_EQ(runProgram({"--bookmarks", parent.file("trip")}).status, 0);
    EXPECT_EQ(readFile(document), fromParent);
    EXPECT_NE(each.err.find("left out: " + shown(parent.file("trip/notes.png"))), std::string::npos)
        << each.err;

    const Folder empty("nothing");
    fs::create_directory(testsupport::u8path(empty.file("sub")));
    const auto none = runProgram({"--each-subfolder", empty.path});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("; nothing written"), std::string::npos) << none.err;
}

TEST(CliTerminal, ProgressLineShowsEachPictureAndQuietNothing) {
    Folder folder("p");
    folder.add("照片 1.bmp", 2, 2);
    folder.add("照片 2.bmp", 2, 2);
    const auto run = runProgram({folder.path}, {true, "", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    if (testsupport::onWindows) {
        // The console's screen at the end: the line gone without a trace,
        // also where escape sequences would show as text (Wine's console).
        EXPECT_TRUE(std::regex_match(run.err, std::regex("done: 2 pages in [0-9.]+ s\n")))
            << run.err;
    } else {
        EXPECT_NE(run.err.find("\r[1/2] 照片 1.bmp"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("\r[2/2] 照片 2.bmp  "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(" left"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("\r\033[Kdone: 2 pages in "), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.out, shown(folder.file("p.pdf")) + "\n");
    std::filesystem::remove(testsupport::u8path(folder.file("p.pdf")));
    const auto quiet = runProgram({"--quiet", folder.path}, {true, "", ""});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(fs::exists(testsupport::u8path(folder.file("p.pdf"))));
}

TEST(CliTerminal, CtrlCStopsEitherFormAndWritesNothing) {
    if (testsupport::onWindows) {
        GTEST_SKIP() << "needs a pseudo-terminal and POSIX signals";
    }
    // Enough large noisy pictures that the run is far from done when the
    // second picture shows up on the terminal.
    Folder folder("long");
    folder.add("noise.bmp", 1000, 1000, true);
    Names pictures{"-o", folder.file("long.pdf"), folder.file("noise.bmp")};
    for (int i = 1; i <= 60; ++i) {
        fs::create_symlink("noise.bmp", folder.file("page" + std::to_string(i) + ".bmp"));
        pictures.push_back(folder.file("page" + std::to_string(i) + ".bmp"));
    }
    const std::string earlier = "%PDF-1.4 an earlier run\n";
    testsupport::writeFile(folder.file("long.pdf"), earlier);
    const Names before = testsupport::listFolder(folder.path);

    for (const Names& arguments : {Names{folder.path}, pictures}) {
        const auto run = runProgram(arguments, {true, "[2/61]", ""});
        EXPECT_EQ(run.status, 130) << "a negative status is a signal";
        EXPECT_NE(run.err.find("stopped after "), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(readFile(folder.file("long.pdf")), earlier);
        EXPECT_EQ(testsupport::listFolder(folder.path), before);  // no temporary file
    }
}

}  // namespace
