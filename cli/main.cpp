// folder2pdf: the command line on the same engine as the window.
//
//   folder2pdf -o OUT.pdf PICTURE...   one document, pages in the given order

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Error.h"
#include "pdf/pdf.h"

namespace {

using folder2pdf::Error;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

const char usageLine[] = "usage: folder2pdf -o OUT.pdf PICTURE...\n";

void printHelp() {
    std::printf(
        "%s"
        "\n"
        "Writes one PDF with a page per picture (BMP, GIF, JPEG or PNG), each page\n"
        "as large in points as the picture is in pixels, the picture in 8-bit gray.\n"
        "\n"
        "  -o OUT.pdf     the document to write; an existing file is replaced whole\n"
        "  -h, --help     show this help\n"
        "  --version      show the version\n",
        usageLine);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "folder2pdf: %s\n%s", message.c_str(), usageLine);
    return exitUsage;
}

struct Options {
    std::string output;
    std::vector<std::string> pictures;
};

int convertPictures(const Options& options) {
    folder2pdf::pdf writer;
    for (const std::string& picture : options.pictures) {
        writer.pageOBJ(picture);
    }
    writer.makePDF(options.output);
    std::printf("%s\n", options.output.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (endOfOptions || argument.empty() || argument[0] != '-' || argument == "-") {
            options.pictures.push_back(argument);
        } else if (argument == "--") {
            endOfOptions = true;
        } else if (argument == "-h" || argument == "--help") {
            printHelp();
            return 0;
        } else if (argument == "--version") {
            std::printf("folder2pdf %s\n", FOLDER2PDF_VERSION);
            return 0;
        } else if (argument == "-o" || argument == "--output") {
            if (i + 1 >= argc) {
                return usageError("-o needs a file name");
            }
            options.output = argv[++i];
        } else if (argument.rfind("-o", 0) == 0 && argument.size() > 2) {
            options.output = argument.substr(2);
        } else {
            return usageError("unknown option " + argument);
        }
    }
    if (options.output.empty()) {
        return usageError("no output file given");
    }
    if (options.pictures.empty()) {
        return usageError("no pictures given");
    }
    try {
        return convertPictures(options);
    } catch (const Error& error) {
        std::fprintf(stderr, "folder2pdf: %s\n", error.what());
        return exitFailure;
    }
}
