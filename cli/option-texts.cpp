// Fills a template from the table of options, at build time: the manual
// page's option sections and the bash completion's option lists.
//
//   option-texts TEMPLATE OUTPUT

#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/OptionTexts.h"

int main(int count, char** values) {
    if (count != 3) {
        std::cerr << "usage: option-texts TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(values[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream out(values[2], std::ios::binary);
    out << folder2pdf::filledTemplate(text.str());
    return in && out ? 0 : 1;
}
