// Fuzz target of the command line: taking words off any text ends, every word shortens the text, and
// arguments joined by CommandLineFromArguments come back word for word.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string rest = text;
    for (;;) {
        size_t before = rest.size();
        std::string word = quillon::NextCommandLineWord(rest);
        if (word.empty()) {
            break;
        }
        if (rest.size() >= before || word.size() > before) {
            std::abort();
        }
    }

    // The same bytes as arguments split at NUL bytes: those without quotes and line ends must survive
    // the round trip through one command line text.
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\0', start);
        std::string argument = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!argument.empty() && argument.find_first_of("\"\r\n") == std::string::npos) {
            arguments.push_back(argument);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    std::string line = quillon::CommandLineFromArguments(arguments);
    for (const std::string& argument : arguments) {
        if (quillon::NextCommandLineWord(line) != argument) {
            std::abort();
        }
    }
    if (!quillon::NextCommandLineWord(line).empty()) {
        std::abort();
    }
    return 0;
}
