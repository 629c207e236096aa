#pragma once

#include <string>

namespace folder2pdf {

// The texts made from the table of options (commandOptions()): --help, the
// manual page's option list and the bash completion's option lists.
std::string helpText();
// The OPTIONS and DOCUMENT OPTIONS sections of the manual page, in roff.
std::string manualOptions();
// The completion's cases for an option's value, and the options offered.
std::string completionValueCases();
std::string completionOptionWords();

// `text` with each of {{OPTIONS}}, {{VALUE_CASES}} and {{OPTION_WORDS}} replaced by its text.
std::string filledTemplate(std::string text);

}  // namespace folder2pdf
