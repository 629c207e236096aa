#include "cli/OptionTexts.h"

#include "job/CommandLine.h"

namespace folder2pdf {
namespace {

// How an option is written: "-o, --output OUT.pdf".
std::string spelled(const CommandOption& option) {
    std::string text;
    if (option.letter) {
        text = std::string{'-', option.letter} + ", ";
    }
    text += option.name;
    if (option.argument) {
        text += std::string(" ") + option.argument;
    }
    return text;
}

// `text` broken into lines of at most `width` columns, each after `indent`.
std::string wrapped(const std::string& text, std::size_t width, const std::string& indent) {
    std::string out;
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += indent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty()) {
        out += indent + line + "\n";
    }
    return out;
}

// roff: a hyphen is "\-", and a line must not start with "." or "'".
std::string roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '-' ? std::string("\\-") : c == '\\' ? std::string("\\e") : std::string(1, c);
    }
    return out;
}

std::string optionList(bool document, bool manual) {
    std::string out;
    for (const CommandOption& option : commandOptions()) {
        if (option.documentOption != document) {
            continue;
        }
        if (manual) {
            out += ".TP\n.B " + roff(spelled(option)) + "\n" + roff(option.help) + ".\n";
            if (*option.more) {
                out += roff(option.more) + "\n";
            }
            continue;
        }
        const std::string head = "  " + spelled(option);
        const std::string indent(17, ' ');
        std::string help = wrapped(option.help, 78 - indent.size(), indent);
        if (head.size() < indent.size()) {
            help.replace(0, head.size(), head);
            out += help;
        } else {
            out += head + "\n" + help;
        }
    }
    return out;
}

struct ExitStatus {
    int code;
    const char* meaning;
};
constexpr ExitStatus exitStatuses[] = {
    {0, "the document was written with every picture (with --list: the list printed)"},
    {1, "nothing was written: a picture or the output failed, the output was refused, or "
        "there were no pictures; with --each-subfolder, any folder failed"},
    {2, "a usage error: an unknown option, a missing operand or a bad value"},
    {3, "the document was written with pictures left out (--keep-going)"},
    {130, "stopped by Ctrl-C; nothing written"},
};

std::string exitStatusHelp() {
    std::string out = "Exit status:\n";
    for (const ExitStatus& status : exitStatuses) {
        const std::string head = "  " + std::to_string(status.code);
        std::string text = wrapped(status.meaning, 78 - 7, std::string(7, ' '));
        text.replace(0, head.size(), head);
        out += text;
    }
    return out;
}

std::string exitStatusManual() {
    std::string out = ".SH EXIT STATUS\n";
    for (const ExitStatus& status : exitStatuses) {
        out += ".TP\n.B " + std::to_string(status.code) + "\n" + roff(status.meaning) + ".\n";
    }
    return out;
}

constexpr char formats[] =
    "With FOLDER, the pictures are the folder's files whose names contain .bmp, .gif, .jpg, "
    ".jpeg, .jfif, .png, .tif, .tiff, .webp, .heic, .heif or .avif (any case) and whose first "
    "bytes are a picture's, hidden files, "
    "sub-folders and the folder's own document left out, in natural order (page2 before "
    "page10); the document is FOLDER/<name of FOLDER>.pdf (a drive's root gives its letter, / "
    "gives root.pdf; leading dots are dropped). A file named like a picture that is none (empty, "
    "text, another format) is left out and named on standard error; the run still succeeds.";

}  // namespace

std::string helpText() {
    return std::string(usageText) + "\n" +
           wrapped("Writes one PDF with a page per picture (BMP, GIF, JPEG, PNG, TIFF with every "
                   "page, WebP, HEIC or AVIF), each page as large in points as the picture is in "
                   "pixels, the picture in 8-bit gray.",
                   78, "") +
           "\n" + wrapped(formats, 78, "") + "\n" +
           wrapped("The document's path is printed on standard output; on a terminal, a "
                   "progress line and a summary appear on standard error. Ctrl-C stops the run "
                   "before the next picture and writes nothing; a second Ctrl-C, or one during "
                   "the final write, ends it at once.",
                   78, "") +
           "\n" + optionList(false, false) +
           "\nDocument options (by default each page is its picture's size, lossless):\n" +
           optionList(true, false) + "\n" +
           wrapped("An existing document is replaced whole, and only once the new one is "
                   "complete.",
                   78, "") +
           "\n" + exitStatusHelp();
}

std::string manualOptions() {
    return ".SH OPTIONS\n" + optionList(false, true) +
           ".TP\n.B \\-\\-\nEnd of options: every later argument is a folder or a picture, even "
           "when it begins with\n.BR \\- .\n"
           ".SH DOCUMENT OPTIONS\nBy default each page is as large in points as its picture in "
           "pixels and holds the picture losslessly, as described above.\nAn option with a "
           "value may also be given as\n.IB OPTION = VALUE\\fR.\n" +
           optionList(true, true) + exitStatusManual();
}

std::string completionValueCases() {
    std::string out;
    for (const CommandOption& option : commandOptions()) {
        if (!option.argument) {
            continue;
        }
        std::string pattern = option.name;
        if (option.letter) {
            pattern = std::string{'-', option.letter} + " | " + pattern;
        }
        const std::string words = option.completion;
        std::string action;
        if (words == "@pdf") {
            action = "_filedir pdf";
        } else if (words == "@dir") {
            action = "_filedir -d";
        } else if (!words.empty()) {
            action = "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
        }
        out += "    " + pattern + ")\n";
        if (!action.empty()) {
            out += "        " + action + "\n";
        }
        out += "        return\n        ;;\n";
    }
    return out;
}

std::string completionOptionWords() {
    std::string out;
    for (const CommandOption& option : commandOptions()) {
        out += (out.empty() ? "" : " ") + std::string(option.name);
    }
    return out + " --";
}

std::string filledTemplate(std::string text) {
    const std::pair<const char*, std::string> keys[] = {
        {"{{OPTIONS}}", manualOptions()},
        {"{{VALUE_CASES}}", completionValueCases()},
        {"{{OPTION_WORDS}}", completionOptionWords()},
    };
    for (const auto& [key, value] : keys) {
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
            text.replace(at, std::string(key).size(), value);
            at += value.size();
        }
    }
    return text;
}

}  // namespace folder2pdf
