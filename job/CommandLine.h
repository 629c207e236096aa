#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "job/PictureOrder.h"
#include "pdf/DocumentOptions.h"

namespace folder2pdf {

// What a command line asks for, once read.
struct CommandLine {
    enum class Form { Folder, List, Pictures, EachSubfolder };
    Form form = Form::Folder;
    std::vector<std::string> operands;  // the FOLDER, or the PICTUREs
    std::string output;                 // -o; "-" is standard output
    std::string parent;                 // --each-subfolder
    DocumentOptions document;
    SortOrder sort = SortOrder::Name;  // --sort
    bool sortGiven = false;            // pictures given by path keep their order without it
    bool reverse = false;              // --reverse
    int jobs = 0;  // 0: one per core
    bool quiet = false;
    bool keepGoing = false;
    bool help = false;
    bool version = false;
};

// Where the window offers an option: in which menu group of 生成's menu.
enum class WindowGroup { None, Paper, Compression, Color, Order };

// One value of an option whose argument is a word, and the window's label
// for it (nullptr: the window doesn't offer it).
struct OptionChoice {
    const char* word;
    const char* windowLabel = nullptr;
};

// One option of the command line, written once: parsing, --help, the bash
// completion, the manual page and the window's menu all come from the table.
struct CommandOption {
    const char* name;          // "--paper"
    char letter;               // 'o' for -o; 0 for none
    const char* argument;      // the value's name in help ("MM"); nullptr: none
    const char* help;          // one sentence or two, plain text
    const char* more;          // further detail for the manual page; may be ""
    // How the value is read into `line`: "" when it is taken, else the
    // usage error's message.
    std::string (*apply)(CommandLine& line, const std::string& value);
    std::span<const OptionChoice> choices;  // the words a word argument takes
    const char* completion;    // words the completion offers for the value; "" for none,
                               // "@dir" for folders, "@pdf" for PDF files
    bool documentOption;       // listed under the document options
    WindowGroup windowGroup = WindowGroup::None;
    const char* windowLabel = nullptr;  // for an option without choices that the window offers
    const char* windowValue = "";       // the value the window gives it
};

std::span<const CommandOption> commandOptions();

// Reads `arguments` (the program's name first). An option's value may follow
// it as the next argument or after "=" ("--paper=a4", "--output=x.pdf"),
// a short option's also right after the letter ("-j4", "-ox.pdf"); "--"
// ends the options. Returns the usage error's message, or nullopt.
std::optional<std::string> readCommandLine(const std::vector<std::string>& arguments,
                                           CommandLine& line);

// The command's forms, as --help and usage errors show them.
extern const char usageText[];

// A choice the window offers on 生成's menu: its label, and the option and
// value it stands for (no option: the group's default).
struct WindowChoice {
    const char* label;
    const CommandOption* option;
    const char* value;
};
// The window's choices of `group`, the default first (`defaultLabel`).
std::vector<WindowChoice> windowChoices(WindowGroup group, const char* defaultLabel);
// `options` with `choice` applied.
DocumentOptions withChoice(DocumentOptions options, const WindowChoice& choice);

}  // namespace folder2pdf
