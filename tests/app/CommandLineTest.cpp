#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillon {
namespace {

// The program joins its arguments into one text and the application takes the words off it again: every
// list of arguments without an empty one comes back whole; an empty word ends the switches.
TEST(CommandLineTest, ArgumentsJoinedIntoALineComeBackAsTheSameWords) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"C:\\My Dir", "/W"}, "\"C:\\My Dir\" /W"},
        {{"a\tb", "/3"}, "\"a\tb\" /3"},
        {{"/a\"b\"", "c"}, "/a\"b\" c"},
        {{"/W", "", "/T"}, "/W \"\" /T"},
        {{}, ""},
    };
    for (const auto& [arguments, line] : cases) {
        EXPECT_EQ(CommandLineFromArguments(arguments), line) << line;
        std::string text = line;
        std::vector<std::string> words;
        for (std::string word = NextCommandLineWord(text); !word.empty(); word = NextCommandLineWord(text)) {
            words.push_back(word);
        }
        std::vector<std::string> expected(arguments.begin(),
                                          std::find(arguments.begin(), arguments.end(), ""));
        EXPECT_EQ(words, expected) << line;
    }
    // Line ends, blanks and tabs around words; an unclosed quote runs to the end.
    std::string text = "\r\n  \t/W\t\"unclosed word";
    EXPECT_EQ(NextCommandLineWord(text), "/W");
    EXPECT_EQ(NextCommandLineWord(text), "unclosed word");
    EXPECT_EQ(NextCommandLineWord(text), "");
}

}  // namespace
}  // namespace quillon
