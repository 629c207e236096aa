// folder2pdf: the command line on the same engine as the window.
//
//   folder2pdf [--quiet] FOLDER        FOLDER/<name of FOLDER>.pdf, as the window's Generate
//   folder2pdf --list FOLDER           the pictures that would become pages, in order
//   folder2pdf -o OUT.pdf PICTURE...   one document, pages in the given order
//   folder2pdf --each-subfolder PARENT one document in each sub-folder of PARENT

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/TerminalView.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "job/FolderJob.h"
#include "job/FolderListing.h"

namespace {

using folder2pdf::DocumentOptions;
using folder2pdf::Error;
using folder2pdf::exitInterrupted;
using folder2pdf::FolderJob;
using folder2pdf::printText;
using folder2pdf::programFolder;
using folder2pdf::StopSignals;
using folder2pdf::TerminalView;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
// Not an exit status: what the parsing returns when the command is to run.
constexpr int goOn = -1;

const char usageLine[] =
    "usage: folder2pdf [--quiet] [--jobs N] [DOCUMENT OPTIONS] FOLDER\n"
    "       folder2pdf --list FOLDER\n"
    "       folder2pdf [--quiet] [--jobs N] [DOCUMENT OPTIONS] -o OUT.pdf PICTURE...\n"
    "       folder2pdf [--quiet] [--jobs N] [DOCUMENT OPTIONS] --each-subfolder PARENT\n";

void printHelp() {
    std::printf(
        "%s"
        "\n"
        "Writes one PDF with a page per picture (BMP, GIF, JPEG or PNG), each page\n"
        "as large in points as the picture is in pixels, the picture in 8-bit gray.\n"
        "\n"
        "With FOLDER, the pictures are the folder's files whose names contain .bmp,\n"
        ".gif, .jpg, .jpeg, .jfif or .png (any case) and whose first bytes are a\n"
        "picture's, hidden files, sub-folders and the folder's own document left\n"
        "out, in natural order (page2 before page10); the document is\n"
        "FOLDER/<name of FOLDER>.pdf (a drive's root gives its letter, / gives\n"
        "root.pdf).\n"
        "\n"
        "The document's path is printed on standard output; on a terminal, a\n"
        "progress line and a summary appear on standard error. Ctrl-C stops the\n"
        "run before the next picture and writes nothing; a second Ctrl-C, or one\n"
        "during the final write, ends it at once.\n"
        "\n"
        "  --list         show the pictures FOLDER would give, one per line, in order\n"
        "  -q, --quiet    print nothing but errors\n"
        "  -j, --jobs N   prepare pages on N threads (default: one per core; 1 reads\n"
        "                 one picture after another); the document is the same\n"
        "  -o OUT.pdf     convert the PICTUREs given, in that order, into OUT.pdf\n"
        "  --each-subfolder PARENT\n"
        "                 one document in each sub-folder of PARENT that holds\n"
        "                 pictures, named after it; a folder that fails is reported\n"
        "                 and the others go on\n"
        "  -h, --help     show this help\n"
        "  --version      show the version\n"
        "\n"
        "Document options (by default each page is its picture's size, lossless):\n"
        "  --paper a4|a3|a5|letter|legal\n"
        "                 put each picture on a page of that paper, turned to the\n"
        "                 picture's orientation, scaled to fit and centred\n"
        "  --margin MM    keep MM millimetres free on each side of the paper\n"
        "  --fit page|shrink\n"
        "                 page (default): scale up or down to fit; shrink: only\n"
        "                 scale down, a small picture keeps one point per pixel\n"
        "  --dpi N        each page the picture's size at N dots per inch\n"
        "  --compact      lossless, smaller: PNG predictors or fewer bits per pixel\n"
        "                 where they help; the same pixels\n"
        "  --jpeg Q       LOSSY: each page a gray JPEG of quality Q (1-100); much\n"
        "                 smaller for photos, but the pixels are not kept exactly\n"
        "  --title TEXT   the document's title, shown by viewers\n"
        "  --bookmarks    a bookmark per page, named after its picture\n"
        "\n"
        "An existing document is replaced whole, and only once the new one is\n"
        "complete. Exit status: 0 done, 1 a picture or the output failed, 2 a usage\n"
        "error, 130 stopped by Ctrl-C.\n",
        usageLine);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "folder2pdf: %s\n%s", message.c_str(), usageLine);
    return exitUsage;
}

bool parseJobs(const std::string& text, int& jobs) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    jobs = std::stoi(text);
    return jobs >= 1 && jobs <= 1024;
}

struct Options {
    DocumentOptions document;
    std::string eachSubfolder;  // the PARENT of --each-subfolder
    std::string output;
    bool list = false;
    bool quiet = false;
    int jobs = folder2pdf::defaultWorkers();
    std::vector<std::string> operands;
};

// What the listing left out, on standard error, so that a name missing
// from the list is explained.
void reportLeftOut(const FolderJob& job) {
    for (const auto& [name, reason] : job.leftOut()) {
        printText(stderr, "left out: " + name + ": " + reason + "\n");
    }
}

int listPictures(const std::string& folder) {
    TerminalView view(folder, false);
    FolderJob job(view, programFolder());
    job.openFolder();
    for (const std::string& row : view.rows()) {
        printText(stdout, row + "\n");
    }
    std::fflush(stdout);
    reportLeftOut(job);
    return 0;
}

// One run loop for both forms: the folder's pictures, or those given with -o.
int convert(const Options& options) {
    const bool pictureMode = !options.output.empty();
    const bool onTerminal = !options.quiet && folder2pdf::errorIsTerminal();
    TerminalView view(pictureMode ? std::string() : options.operands[0], onTerminal);
    FolderJob job(view, programFolder());
    job.setWorkers(options.jobs);
    job.setDocumentOptions(options.document);
    if (pictureMode) {
        job.openPictures(options.operands, options.output);
    } else {
        job.openFolder();
    }
    if (job.entries().empty()) {
        if (onTerminal) {
            printText(stderr, "no pictures in " + folder2pdf::shownPath(job.folder()) +
                                  "; nothing written\n");
        }
        return 0;
    }
    {
        StopSignals signals(job);
        job.generate();
    }
    if (job.stopped()) {
        return exitInterrupted;
    }
    if (!options.quiet) {
        printText(stdout, folder2pdf::shownPath(job.outputPath()) + "\n");
    }
    return 0;
}

// Whether argv[i] is the option `name`, as "NAME VALUE" or "NAME=VALUE";
// `value` then holds its value (nullopt when none follows) and i is past it.
bool takeValue(const std::vector<std::string>& argv, std::size_t& i, const std::string& name,
               std::optional<std::string>& value) {
    const std::string& argument = argv[i];
    if (argument == name) {
        value = i + 1 < argv.size() ? std::optional(argv[++i]) : std::nullopt;
        return true;
    }
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

// A whole number from `low` to `high`, or a decimal one when `decimal`,
// read the same way in every locale.
std::optional<double> numberIn(const std::optional<std::string>& text, double low, double high,
                               bool decimal) {
    double value = 0;
    if (!text || text->empty() || (!decimal && text->find('.') != std::string::npos)) {
        return std::nullopt;
    }
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || !(value >= low && value <= high)) {
        return std::nullopt;
    }
    return value;
}

std::optional<folder2pdf::Paper> paperNamed(const std::optional<std::string>& name) {
    using folder2pdf::Paper;
    const std::pair<const char*, Paper> papers[] = {{"a4", Paper::A4},
                                                    {"a3", Paper::A3},
                                                    {"a5", Paper::A5},
                                                    {"letter", Paper::Letter},
                                                    {"legal", Paper::Legal}};
    for (const auto& [text, paper] : papers) {
        if (name && *name == text) {
            return paper;
        }
    }
    return std::nullopt;
}

// The options whose value is a number or a word; "" when taken, else the
// usage error's message, or nullopt when argv[i] is none of them.
std::optional<std::string> takeLayoutOption(const std::vector<std::string>& argv, std::size_t& i,
                                            DocumentOptions& document) {
    std::optional<std::string> value;
    if (takeValue(argv, i, "--paper", value)) {
        const auto paper = paperNamed(value);
        document.paper = paper.value_or(document.paper);
        return paper ? "" : "--paper needs a4, a3, a5, letter or legal";
    }
    if (takeValue(argv, i, "--margin", value)) {
        const auto margin = numberIn(value, 0, 1000, true);
        document.marginMM = margin.value_or(0);
        return margin ? "" : "--margin needs millimetres from 0 to 1000";
    }
    if (takeValue(argv, i, "--fit", value)) {
        document.fit = value == "shrink" ? folder2pdf::Fit::Shrink : folder2pdf::Fit::Page;
        return value == "page" || value == "shrink" ? "" : "--fit needs page or shrink";
    }
    if (takeValue(argv, i, "--dpi", value)) {
        const auto dpi = numberIn(value, 1, 100000, false);
        document.dpi = static_cast<int>(dpi.value_or(0));
        return dpi ? "" : "--dpi needs a number from 1 to 100000";
    }
    if (takeValue(argv, i, "--jpeg", value)) {
        const auto quality = numberIn(value, 1, 100, false);
        document.jpegQuality = static_cast<int>(quality.value_or(0));
        if (document.compression == folder2pdf::Compression::Compact) {
            return "--jpeg and --compact exclude each other";
        }
        document.compression = folder2pdf::Compression::Jpeg;
        return quality ? "" : "--jpeg needs a quality from 1 to 100";
    }
    return std::nullopt;
}

// The options that choose how the document is made (DocumentOptions) and
// --each-subfolder: "" when argv[i] was one (i then past its value), the
// usage error's message, or nullopt when it is another option.
std::optional<std::string> takeDocumentOption(const std::vector<std::string>& argv, std::size_t& i,
                                              Options& options) {
    DocumentOptions& document = options.document;
    std::optional<std::string> value;
    if (argv[i] == "--compact") {
        if (document.compression == folder2pdf::Compression::Jpeg) {
            return "--jpeg and --compact exclude each other";
        }
        document.compression = folder2pdf::Compression::Compact;
        return "";
    }
    if (argv[i] == "--bookmarks") {
        document.bookmarks = true;
        return "";
    }
    if (takeValue(argv, i, "--title", value)) {
        document.title = value.value_or("");
        return value ? "" : "--title needs a text";
    }
    if (takeValue(argv, i, "--each-subfolder", value)) {
        options.eachSubfolder = value.value_or("");
        return value && !value->empty() ? "" : "--each-subfolder needs a folder";
    }
    return takeLayoutOption(argv, i, document);
}

// Takes the option argv[i], with its value when it has one (i then moves
// past the value); returns goOn, or the exit status when the command line
// is done with: help or the version shown, a usage error reported.
int takeOption(const std::vector<std::string>& argv, std::size_t& i, Options& options) {
    const std::string& argument = argv[i];
    if (argument == "-h" || argument == "--help") {
        printHelp();
        return 0;
    }
    if (argument == "--version") {
        std::printf("folder2pdf %s\n", FOLDER2PDF_VERSION);
        return 0;
    }
    if (argument == "--list") {
        options.list = true;
    } else if (argument == "-q" || argument == "--quiet") {
        options.quiet = true;
    } else if (argument == "-j" || argument == "--jobs" || argument.rfind("--jobs=", 0) == 0) {
        std::string count;
        if (argument.size() > 7) {
            count = argument.substr(7);
        } else if (i + 1 < argv.size()) {
            count = argv[++i];
        }
        if (!parseJobs(count, options.jobs)) {
            return usageError("--jobs needs a number from 1 to 1024");
        }
    } else if (argument == "-o" || argument == "--output") {
        if (i + 1 >= argv.size()) {
            return usageError("-o needs a file name");
        }
        options.output = argv[++i];
    } else if (argument.rfind("-o", 0) == 0 && argument.size() > 2) {
        options.output = argument.substr(2);
    } else if (const auto problem = takeDocumentOption(argv, i, options)) {
        return problem->empty() ? goOn : usageError(*problem);
    } else {
        return usageError("unknown option " + argument);
    }
    return goOn;
}

// The document options and --each-subfolder against the rest: goOn, or
// the usage error's status.
int checkDocumentOptions(const Options& options) {
    if (const std::string problem = folder2pdf::invalidOptions(options.document);
        !problem.empty()) {
        return usageError(problem);
    }
    if (!options.eachSubfolder.empty() &&
        (!options.output.empty() || options.list || !options.operands.empty())) {
        return usageError("--each-subfolder takes no other folder, pictures, -o or --list");
    }
    return goOn;
}

// The operands against the form the options chose: goOn, or the usage error's status.
int checkOperands(const Options& options) {
    if (const int status = checkDocumentOptions(options);
        status != goOn || !options.eachSubfolder.empty()) {
        return status;
    }
    const bool pictureMode = !options.output.empty();
    if (pictureMode && options.list) {
        return usageError("--list takes a folder, not -o");
    }
    if (pictureMode && options.operands.empty()) {
        return usageError("no pictures given");
    }
    if (!pictureMode && options.operands.size() != 1) {
        return usageError(options.operands.empty() ? "no folder given" : "one folder only");
    }
    if (!pictureMode && options.operands[0].empty()) {
        return usageError("the folder name is empty");
    }
    return goOn;
}

// Reads the command line (the program's name first) into `options`;
// returns goOn, or the exit status when there is nothing to run.
int parseArguments(const std::vector<std::string>& argv, Options& options) {
    bool endOfOptions = false;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string& argument = argv[i];
        if (endOfOptions || argument.empty() || argument[0] != '-' || argument == "-") {
            options.operands.push_back(argument);
        } else if (argument == "--") {
            endOfOptions = true;
        } else if (const int status = takeOption(argv, i, options); status != goOn) {
            return status;
        }
    }
    return checkOperands(options);
}

// A sub-folder of --each-subfolder's PARENT and the paths of its pictures.
struct Subfolder {
    std::string path;
    std::string name;
    std::vector<std::string> pictures;
};

// The sub-folders of `parent` that hold pictures, in natural order; a
// sub-folder that can't be listed is reported and counted in `failed`.
std::vector<Subfolder> subfoldersWithPictures(const std::string& parent, int& failed) {
    std::vector<std::string> names = folder2pdf::listSubfolders(parent);
    std::sort(names.begin(), names.end(), folder2pdf::naturalLess);
    std::vector<Subfolder> found;
    for (const std::string& name : names) {
        Subfolder folder{parent + "/" + name, name, {}};
        try {
            for (const std::string& file : folder2pdf::listFolderFiles(folder.path)) {
                if (folder2pdf::isPictureName(file)) {
                    folder.pictures.push_back(folder.path + "/" + file);
                }
            }
        } catch (const Error& error) {
            std::fprintf(stderr, "folder2pdf: %s: %s\n", name.c_str(), error.what());
            ++failed;
        }
        if (!folder.pictures.empty()) {
            found.push_back(std::move(folder));
        }
    }
    return found;
}

// --each-subfolder: a document in each sub-folder with pictures, one
// progress line for all; a folder that fails is reported and the others
// go on. 0 when all were written, 1 when any failed, 130 on Ctrl-C.
int convertEachSubfolder(const Options& options) {
    const bool onTerminal = !options.quiet && folder2pdf::errorIsTerminal();
    int failed = 0;
    const std::vector<Subfolder> folders =
        subfoldersWithPictures(folder2pdf::absolutePath(options.eachSubfolder), failed);
    std::int32_t total = 0;
    for (const Subfolder& folder : folders) {
        total += folder2pdf::checkedInt32(folder.pictures.size());
    }
    TerminalView view(std::string(), onTerminal);
    FolderJob job(view, programFolder());
    job.setWorkers(options.jobs);
    job.setDocumentOptions(options.document);
    StopSignals signals(job);
    std::int32_t before = 0;
    std::int32_t documents = 0;
    std::int32_t pages = 0;
    for (const Subfolder& folder : folders) {
        view.continueBatch(folder.name, before, total);
        before += static_cast<std::int32_t>(folder.pictures.size());
        try {
            job.openPictures(folder.pictures, folder.path + "/" + folder.name + ".pdf");
            job.generate();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "folder2pdf: %s: %s\n", folder.name.c_str(), error.what());
            ++failed;
            continue;
        }
        if (job.stopped()) {
            return exitInterrupted;
        }
        ++documents;
        pages += static_cast<std::int32_t>(folder.pictures.size());
        if (!options.quiet) {
            std::printf("%s\n", job.outputPath().c_str());
            std::fflush(stdout);
        }
    }
    view.finishBatch(documents, pages, failed);
    return failed > 0 ? exitFailure : 0;
}

// Runs the command the options describe; errors end here, as a message
// and exit status 1.
int run(const Options& options) {
    try {
        if (!options.eachSubfolder.empty()) {
            return convertEachSubfolder(options);
        }
        return options.list ? listPictures(options.operands[0]) : convert(options);
    } catch (const Error& error) {
        printText(stderr, "folder2pdf: " + folder2pdf::shownMessage(error) + "\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "folder2pdf: %s\n", error.what());
    }
    return exitFailure;
}

}  // namespace

int main(int count, char** values) {
    folder2pdf::prepareConsole();
    Options options;
    const int status = parseArguments(folder2pdf::commandArguments(count, values), options);
    return status != goOn ? status : run(options);
}
