#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(CommandLineTest, WordsComeOffTheTextOneByOne) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"\"C:\\My Dir\" /W", {"C:\\My Dir", "/W"}},
        {"  \t/W\t/T  ", {"/W", "/T"}},
        {"\"unclosed word", {"unclosed word"}},
        {"/W \"\" /T", {"/W"}},  // an empty quoted word looks like the end
        {"\r\n", {}},
        {"/a\"b\" c", {"/a\"b\"", "c"}},
    };
    for (const auto& [line, words] : cases) {
        std::string text = line;
        std::vector<std::string> got;
        for (std::string word = NextCommandLineWord(text); !word.empty(); word = NextCommandLineWord(text)) {
            got.push_back(word);
        }
        EXPECT_EQ(got, words) << line;
    }
}

TEST(CommandLineTest, ArgumentsAreQuotedWhereTheWordsWouldSplit) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/W", "", "/T"}, "/W \"\" /T"},
        {{"C:\\My Dir", "/3"}, "\"C:\\My Dir\" /3"},
        {{"a\tb"}, "\"a\tb\""},
        {{}, ""},
    };
    for (const auto& [arguments, line] : cases) {
        EXPECT_EQ(CommandLineFromArguments(arguments), line) << line;
    }
}

}  // namespace
}  // namespace quillon
