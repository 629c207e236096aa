#include "job/CommandLine.h"

#include <charconv>

namespace folder2pdf {
namespace {

// A whole number from `low` to `high`, or a decimal one when `decimal`,
// read the same way in every locale.
std::optional<double> numberIn(const std::string& text, double low, double high, bool decimal) {
    double value = 0;
    if (text.empty() || (!decimal && text.find('.') != std::string::npos)) {
        return std::nullopt;
    }
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !(value >= low && value <= high)) {
        return std::nullopt;
    }
    return value;
}

bool sameWord(const std::string& text, const char* word) {
    std::string lower = text;
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower == word;
}

constexpr OptionChoice papers[] = {
    {"a4", "A4"}, {"a3"}, {"a5"}, {"letter", "Letter"}, {"legal"}};
constexpr Paper paperKinds[] = {Paper::A4, Paper::A3, Paper::A5, Paper::Letter, Paper::Legal};
constexpr OptionChoice fits[] = {{"page"}, {"shrink"}};

constexpr OptionChoice sorts[] = {{"name"}, {"modified", "按修改时间"}, {"taken", "按拍摄时间"}};
constexpr SortOrder sortOrders[] = {SortOrder::Name, SortOrder::Modified, SortOrder::Taken};

std::string applySort(CommandLine& line, const std::string& value) {
    for (std::size_t i = 0; i < std::size(sorts); ++i) {
        if (sameWord(value, sorts[i].word)) {
            line.sort = sortOrders[i];
            line.sortGiven = true;
            return "";
        }
    }
    return "--sort needs name, modified or taken";
}

std::string applyReverse(CommandLine& line, const std::string&) {
    line.reverse = true;
    return "";
}

std::string applyPaper(CommandLine& line, const std::string& value) {
    for (std::size_t i = 0; i < std::size(papers); ++i) {
        if (sameWord(value, papers[i].word)) {
            line.document.paper = paperKinds[i];
            return "";
        }
    }
    return "--paper needs a4, a3, a5, letter or legal";
}

std::string applyFit(CommandLine& line, const std::string& value) {
    if (!sameWord(value, "page") && !sameWord(value, "shrink")) {
        return "--fit needs page or shrink";
    }
    line.document.fit = sameWord(value, "shrink") ? Fit::Shrink : Fit::Page;
    return "";
}

std::string applyMargin(CommandLine& line, const std::string& value) {
    const auto margin = numberIn(value, 0, 1000, true);
    line.document.marginMM = margin.value_or(0);
    return margin ? "" : "--margin needs millimetres from 0 to 1000";
}

std::string applyDpi(CommandLine& line, const std::string& value) {
    const auto dpi = numberIn(value, 1, 100000, false);
    line.document.dpi = static_cast<int>(dpi.value_or(0));
    return dpi ? "" : "--dpi needs a number from 1 to 100000";
}

std::string applyJpeg(CommandLine& line, const std::string& value) {
    const auto quality = numberIn(value, 1, 100, false);
    if (line.document.maxSize > 0) {
        return "--max-size chooses the JPEG quality itself; leave out --jpeg";
    }
    if (line.document.compression == Compression::Compact) {
        return "--jpeg and --compact exclude each other";
    }
    line.document.compression = Compression::Jpeg;
    line.document.jpegQuality = static_cast<int>(quality.value_or(0));
    return quality ? "" : "--jpeg needs a quality from 1 to 100";
}

std::string applyCompact(CommandLine& line, const std::string&) {
    if (line.document.compression == Compression::Jpeg) {
        return "--jpeg and --compact exclude each other";
    }
    line.document.compression = Compression::Compact;
    return "";
}

// "800KB", "5MB", "1.5MB" or plain bytes; KB and MB count by thousands,
// as upload forms do.
std::string applyMaxSize(CommandLine& line, const std::string& value) {
    const std::string problem = "--max-size needs a size such as 800KB or 5MB";
    std::string number = value;
    double unit = 1;
    for (const auto& [suffix, factor] : {std::pair{"kb", 1e3}, std::pair{"mb", 1e6}}) {
        const std::string text = suffix;
        if (number.size() > text.size() &&
            sameWord(number.substr(number.size() - text.size()), suffix)) {
            number.resize(number.size() - text.size());
            unit = factor;
        }
    }
    const auto amount = numberIn(number, 1, 1e12, true);
    if (!amount || *amount * unit < 1000) {
        return problem;
    }
    line.document.maxSize = static_cast<std::int64_t>(*amount * unit);
    return line.document.compression == Compression::Jpeg
               ? "--max-size chooses the JPEG quality itself; leave out --jpeg"
               : "";
}

std::string applyColor(CommandLine& line, const std::string&) {
    line.document.color = true;
    return "";
}

std::string applyTitle(CommandLine& line, const std::string& value) {
    line.document.title = value;
    return "";
}

std::string applyBookmarks(CommandLine& line, const std::string&) {
    line.document.bookmarks = true;
    return "";
}

std::string applyJobs(CommandLine& line, const std::string& value) {
    const auto jobs = value.size() <= 4 ? numberIn(value, 1, 1024, false) : std::nullopt;
    line.jobs = static_cast<int>(jobs.value_or(0));
    return jobs && value.find_first_not_of("0123456789") == std::string::npos
               ? ""
               : "--jobs needs a number from 1 to 1024";
}

std::string applyOutput(CommandLine& line, const std::string& value) {
    line.output = value;
    return value.empty() ? "-o needs a file name" : "";
}

std::string applyEachSubfolder(CommandLine& line, const std::string& value) {
    line.parent = value;
    return value.empty() ? "--each-subfolder needs a folder" : "";
}

std::string applyList(CommandLine& line, const std::string&) {
    line.form = CommandLine::Form::List;
    return "";
}

std::string applyQuiet(CommandLine& line, const std::string&) {
    line.quiet = true;
    return "";
}

std::string applyKeepGoing(CommandLine& line, const std::string&) {
    line.keepGoing = true;
    return "";
}

std::string applyHelp(CommandLine& line, const std::string&) {
    line.help = true;
    return "";
}

std::string applyVersion(CommandLine& line, const std::string&) {
    line.version = true;
    return "";
}

// clang-format off
const CommandOption options[] = {
    {"--list", 0, nullptr,
     "show the pictures FOLDER would give, one per line, in order, and what was left out",
     "Nothing is written.", applyList, {}, "", false},
    {"--output", 'o', "OUT.pdf",
     "convert the PICTUREs given, in that order, into OUT.pdf (\"-o -\": to standard "
     "output)",
     "OUT.pdf is refused, with nothing changed, when it is one of the pictures (the same file "
     "by any name) or exists and is no regular file (a device, a FIFO, a socket, a folder, or a "
     "link to one of those or to nothing). On Windows the device names (CON, NUL, COM1, ...) "
     "are refused too; to discard the document, pipe it: -o - > NUL.",
     applyOutput, {}, "@pdf", false},
    {"--quiet", 'q', nullptr, "print nothing but errors", "", applyQuiet, {}, "", false},
    {"--jobs", 'j', "N",
     "prepare pages on N threads (default: one per core; 1 reads one picture after another); "
     "the document is the same",
     "N is from 1 to 1024. The pages are still written in list order, so the document is the "
     "same byte for byte whatever N.",
     applyJobs, {}, "1 2 4 8", false},
    {"--keep-going", 'k', nullptr,
     "leave out a picture that cannot be read, naming it, and write the others (exit status 3)",
     "Without it the first such picture stops the run and nothing is written.",
     applyKeepGoing, {}, "", false},
    {"--each-subfolder", 0, "PARENT",
     "one document in each sub-folder of PARENT that holds pictures, named after it; a folder "
     "that fails is reported and the others go on",
     "Each document is the very one FOLDER would give for that sub-folder. Links to folders "
     "are left out, and said so: nothing outside PARENT is read or written.",
     applyEachSubfolder, {}, "@dir", false},
    {"--sort", 0, "name|modified|taken",
     "put the pictures in order of their names (the default), of when each file was last "
     "modified, or of when each photo was taken",
     "Names go in natural order: letter case ignored, numbers by value (page2 before page10). "
     "The date a photo was taken is its EXIF date (DateTimeOriginal) in a JPEG, TIFF or HEIF "
     "file; "
     "a picture without one counts by when it was modified. Ties go by name. Pictures given "
     "with -o keep the order given unless --sort is given.",
     applySort, sorts, "name modified taken", false, WindowGroup::Order},
    {"--reverse", 0, nullptr, "the pictures in the reverse order", "", applyReverse, {}, "",
     false},
    {"--help", 'h', nullptr, "show this help", "", applyHelp, {}, "", false},
    {"--version", 0, nullptr, "show the version", "", applyVersion, {}, "", false},

    {"--paper", 0, "a4|a3|a5|letter|legal",
     "put each picture on a page of that paper, turned to the picture's orientation, scaled to "
     "fit and centred",
     "A4 is 595.28 x 841.89 points, A3 841.89 x 1190.55, A5 419.53 x 595.28, Letter 612 x 792, "
     "Legal 612 x 1008; the name in any case. The image is stored exactly as without it.",
     applyPaper, papers, "a4 a3 a5 letter legal", true, WindowGroup::Paper},
    {"--margin", 0, "MM", "with --paper: keep MM millimetres free on each side",
     "From 0 (the default) to 1000.", applyMargin, {}, "", true},
    {"--fit", 0, "page|shrink",
     "with --paper: page (default) scales up or down to fit; shrink only scales down, a small "
     "picture keeps one point per pixel",
     "", applyFit, fits, "page shrink", true},
    {"--dpi", 0, "N", "each page the picture's size at N dots per inch",
     "N is from 1 to 100000: a 2480 x 3508 scan at 300 is an A4 page, 595.2 x 841.92 points. "
     "Excludes --paper.",
     applyDpi, {}, "150 200 300 600", true},
    {"--compact", 0, nullptr,
     "lossless, smaller: PNG predictors or fewer bits per pixel where they help; the same pixels",
     "A page whose gray levels fit in 1, 2 or 4 bits (0 and 255; 0, 85, 170 and 255; multiples "
     "of 17) is stored with that many bits per pixel.",
     applyCompact, {}, "", true, WindowGroup::Compression, "无损压缩"},
    {"--jpeg", 0, "Q",
     "LOSSY: each page a gray JPEG of quality Q (1-100); much smaller for photos, but the "
     "pixels are not kept exactly",
     "A picture with a side over 65500 pixels keeps the lossless page. Excludes --compact.",
     applyJpeg, {}, "75 85 95", true, WindowGroup::Compression, "照片 JPEG", "85"},
    {"--max-size", 0, "SIZE",
     "the document at most SIZE (800KB, 5MB; KB = 1,000 bytes, MB = 1,000,000), as close to it "
     "as the pictures allow: LOSSY, photos become JPEG of one quality, scaled down if need be",
     "The quality (and, where even a low quality is too large, a uniform scale) is chosen for "
     "the whole document by a search and said when the run ends; pages whose gray levels fit "
     "in fewer bits stay lossless. A size that can't be met is an error naming the smallest "
     "reachable; nothing is written. Excludes --jpeg and --compact.",
     applyMaxSize, {}, "2MB 5MB 10MB", true},
    {"--color", 0, nullptr,
     "pages keep their colours; JPEG files are kept as their own bytes",
     "Pictures are stored losslessly in the fewest bits that hold them: gray levels as gray "
     "(black and white at one bit a pixel), up to 256 colours as a palette, others as 8-bit "
     "RGB (with --compact smaller, with --jpeg as a colour JPEG). A JPEG file that PDF "
     "readers show as it is becomes its page unchanged, with its ICC profile and turned as "
     "its EXIF orientation says; other JPEG files (arithmetic, 12-bit, lossless) are decoded. "
     "A TIFF page of one strip of Group 4 fax code keeps its code.",
     applyColor, {}, "", true, WindowGroup::Color, "彩色"},
    {"--title", 0, "TEXT", "the document's title, shown by viewers", "Any script works.",
     applyTitle, {}, "", true},
    {"--bookmarks", 0, nullptr, "a bookmark per page, named after its picture",
     "The bookmark is the picture's file name without the extension.", applyBookmarks, {}, "",
     true},
};
// clang-format on

// The option `argument` names, and where its value starts in it ("--x=v",
// "-jN"): npos when the value is the next argument or none.
const CommandOption* optionNamed(const std::string& argument, std::size_t& valueAt) {
    valueAt = std::string::npos;
    for (const CommandOption& option : options) {
        const std::string name = option.name;
        if (argument == name || (option.letter && argument == std::string{'-', option.letter})) {
            return &option;
        }
        if (option.argument && argument.rfind(name + "=", 0) == 0) {
            valueAt = name.size() + 1;
            return &option;
        }
        if (option.argument && option.letter && argument.size() > 2 && argument[0] == '-' &&
            argument[1] == option.letter) {
            valueAt = 2;
            return &option;
        }
    }
    return nullptr;
}

std::optional<std::string> checkForm(CommandLine& line) {
    if (const std::string problem = invalidOptions(line.document); !problem.empty()) {
        return problem;
    }
    const bool pictures = !line.output.empty();
    const bool list = line.form == CommandLine::Form::List;
    if (!line.parent.empty()) {
        if (pictures || list || !line.operands.empty()) {
            return "--each-subfolder takes no other folder, pictures, -o or --list";
        }
        line.form = CommandLine::Form::EachSubfolder;
        return std::nullopt;
    }
    if (pictures && list) {
        return "--list takes a folder, not -o";
    }
    if (pictures) {
        line.form = CommandLine::Form::Pictures;
        return line.operands.empty() ? std::optional<std::string>("no pictures given")
                                     : std::nullopt;
    }
    if (line.operands.size() != 1) {
        return line.operands.empty() ? "no folder given" : "one folder only";
    }
    if (line.operands[0].empty()) {
        return "the folder name is empty";
    }
    return std::nullopt;
}

}  // namespace

const char usageText[] =
    "usage: folder2pdf [OPTIONS] FOLDER\n"
    "       folder2pdf --list FOLDER\n"
    "       folder2pdf [OPTIONS] -o OUT.pdf PICTURE...\n"
    "       folder2pdf [OPTIONS] --each-subfolder PARENT\n";

std::span<const CommandOption> commandOptions() {
    return options;
}

std::optional<std::string> readCommandLine(const std::vector<std::string>& arguments,
                                           CommandLine& line) {
    bool endOfOptions = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (endOfOptions || argument.empty() || argument[0] != '-' || argument == "-") {
            line.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            endOfOptions = true;
            continue;
        }
        std::size_t valueAt = 0;
        const CommandOption* option = optionNamed(argument, valueAt);
        if (option == nullptr) {
            return "unknown option " + argument;
        }
        std::string value;
        if (valueAt != std::string::npos) {
            value = argument.substr(valueAt);
        } else if (option->argument && i + 1 < arguments.size()) {
            value = arguments[++i];
        } else if (option->argument) {
            // The option's own message says what its value should be.
            const std::string problem = option->apply(line, "");
            return problem.empty() ? std::string(option->name) + " needs a text" : problem;
        }
        if (const std::string problem = option->apply(line, value); !problem.empty()) {
            return problem;
        }
        if (line.help || line.version) {
            return std::nullopt;
        }
    }
    return checkForm(line);
}

std::vector<WindowChoice> windowChoices(WindowGroup group, const char* defaultLabel) {
    std::vector<WindowChoice> choices{{defaultLabel, nullptr, ""}};
    for (const CommandOption& option : options) {
        if (option.windowGroup != group) {
            continue;
        }
        if (option.windowLabel) {
            choices.push_back({option.windowLabel, &option, option.windowValue});
        }
        for (const OptionChoice& choice : option.choices) {
            if (choice.windowLabel) {
                choices.push_back({choice.windowLabel, &option, choice.word});
            }
        }
    }
    return choices;
}

DocumentOptions withChoice(DocumentOptions options, const WindowChoice& choice) {
    if (choice.option) {
        CommandLine line;
        line.document = options;
        choice.option->apply(line, choice.value);
        return line.document;
    }
    return options;
}

}  // namespace folder2pdf
