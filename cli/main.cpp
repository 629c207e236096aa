// folder2pdf: the command line on the same engine as the window.
//
//   folder2pdf [--quiet] FOLDER        FOLDER/<name of FOLDER>.pdf, as the window's Generate
//   folder2pdf --list FOLDER           the pictures that would become pages, in order
//   folder2pdf -o OUT.pdf PICTURE...   one document, pages in the given order

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/TerminalView.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "job/FolderJob.h"

namespace {

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
    "usage: folder2pdf [--quiet] [--jobs N] FOLDER\n"
    "       folder2pdf --list FOLDER\n"
    "       folder2pdf [--quiet] [--jobs N] -o OUT.pdf PICTURE...\n";

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
        "  -h, --help     show this help\n"
        "  --version      show the version\n"
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
    } else {
        return usageError("unknown option " + argument);
    }
    return goOn;
}

// The operands against the form the options chose: goOn, or the usage error's status.
int checkOperands(const Options& options) {
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

// Runs the command the options describe; errors end here, as a message
// and exit status 1.
int run(const Options& options) {
    try {
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
