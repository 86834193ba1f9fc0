#include "app/CommandLine.h"

namespace quillon {

std::string CommandLineFromArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (argument.empty() || argument.find_first_of(" \t") != std::string::npos) {
            line += '"' + argument + '"';
        } else {
            line += argument;
        }
    }
    return line;
}

std::string NextCommandLineWord(std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        text.clear();
        return "";
    }
    text.erase(0, start);
    std::string word;
    if (text[0] == '"') {
        size_t close = text.find('"', 1);
        if (close == std::string::npos) {
            word = text.substr(1);
            text.clear();
        } else {
            word = text.substr(1, close - 1);
            text.erase(0, close + 1);
        }
        return word;
    }
    size_t end = text.find_first_of(" \t");
    if (end == std::string::npos) {
        word = text;
        text.clear();
    } else {
        word = text.substr(0, end);
        text.erase(0, end);
    }
    return word;
}

}  // namespace quillon
