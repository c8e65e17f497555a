// kov-lang: writes the English language file from the program's built-in texts.
//   kov-lang [FILE]   (standard output without FILE)

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/language/language_file.h"

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: kov-lang [FILE]\n");
        return 2;
    }
    const std::string text = kov::BuiltInLanguageFile();
    if (argc == 1) {
        std::cout << text;
        return std::cout.good() ? 0 : 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "kov-lang: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
